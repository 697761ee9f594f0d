// Program Meter in the window against the simulated meter over a pseudo-terminal:
// progress, panels, messages, the button and the port for each way a run ends.
// The bytes on the wire and the exit statuses are checked through the command line.
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/PickList.h"
#include "common/MeterRig.h"
#include "link/SerialComm.h"
#include "meter-sim/SimulatorOptions.h"
#include "programming/RunMessages.h"
#include "programming/RunResult.h"
#include "app/FlexGrid.h"

namespace {
// The rig's window with Current, Voltage ("V") or no input type ("") selected, shown.
MeterRig rigFor(const QStringList& simOptions, const QString& type = "I")
{
    MeterRig rig(SimulatorOptions::parse(simOptions).config);
    rig.w->setOptionValue(type == "V" ? rig.w->optVoltage : rig.w->optCurrent, !type.isEmpty());
    rig.w->show();
    return rig;
}
} // namespace

class TestProgramMeter : public QObject {
    Q_OBJECT
private slots:
    // Progress when each command arrives; the button stays disabled and a second press does
    // nothing. Voltage counts its configuration command after the reply.
    void progressDuringRun_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QList<int>>("seen");
        QTest::newRow("current") << "I" << QList<int>{0, 0, 30000, 30000, 40000, 50000, 50000, 50000, 50000, 50000};
        QTest::newRow("voltage") << "V" << QList<int>{0, 0, 20000, 30000, 40000, 50000, 50000, 50000, 50000, 50000};
    }
    void progressDuringRun()
    {
        QFETCH(QString, type);
        QFETCH(QList<int>, seen);
        MeterRig rig = rigFor({}, type);
        MessageRecorder msgs;
        QList<int> got;
        QStringList panels;
        bool enabled = false;
        connect(rig.sim.get(), &SimulatedMeter::commandReceived, rig.w.get(), [&](const QString&) {
            got << rig.w->ProgressBar1->value();
            panels << rig.w->panelText(2);
            enabled |= rig.w->cmdProgramMeter->isEnabled() || !rig.w->programmingRunning();
            rig.w->cmdProgramMeter->click(); // ignored while disabled
        });
        int atMessage = -1;
        msgs.onShown = [&](const ShownMessage&) { atMessage = rig.w->ProgressBar1->value(); };
        rig.press();
        QCOMPARE(got, seen);
        QCOMPARE(panels.count("Processing..."), 8);
        QVERIFY(!enabled);
        QCOMPARE(atMessage, 70000);
        QCOMPARE(rig.w->ProgressBar1->value(), 0);
        QVERIFY(rig.w->cmdProgramMeter->isEnabled());
    }

    // What the window shows and keeps after each way a run ends.
    void endings_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("closeOn");   // the device vanishes ("device:") or the window closes when this arrives
        QTest::addColumn<QString>("message");   // start of the last message; "" for none
        QTest::addColumn<int>("progress");      // what the window keeps afterwards
        QTest::addColumn<QString>("panel");     // status panel 2
        QTest::addColumn<bool>("portOpen");
        QTest::addColumn<int>("col");           // the grid's current column
        QTest::addColumn<int>("row");           // the grid's current row; a broken table rule's has the focus
        QTest::newRow("refused decimal point") << QStringList{"--refuse", "37P=2"} << "I" << "" << "Error writing output option: \r\n"
                                               << 30000 << "Processing..." << true << 1 << 0;
        // The table check selects the cell of the broken rule.
        QTest::newRow("table error") << QStringList() << "V" << "" << "Input values for Voltage" << 0 << "" << true << 1 << 1;
        QTest::newRow("missing value") << QStringList() << "I" << "empty" << "Please enter value for every point" << 0 << "" << true << 2 << 1;
        QTest::newRow("inputs not rising") << QStringList() << "I" << "falling" << "Check Input Values" << 0 << "" << true << 1 << 1;
        QTest::newRow("step too small") << QStringList() << "I" << "close" << "The minimum input span for Current" << 0 << "" << true << 1 << 1;
        QTest::newRow("no input type") << QStringList() << "" << "" << "" << 0 << "" << true << 1 << 0;
        // The one reply time-out of the window: the checklist, and the port is closed.
        QTest::newRow("no reply") << QStringList{"--silent-prefix", "F189"} << "I" << "" << "Please verify the following conditions:"
                                  << 0 << "" << false << 2 << 0;
        QTest::newRow("device vanishes") << QStringList() << "I" << "device:2A302" << "PC Comm Port 1 (" << 50000 << "Processing..." << false << 1 << 0;
        QTest::newRow("old firmware") << QStringList{"--old-firmware"} << "I" << "" << "This program requires firmware" << 0 << "" << false << 2 << 0;
    }
    void endings()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(QString, type);
        QFETCH(QString, closeOn);
        QFETCH(QString, message);
        QFETCH(int, progress);
        QFETCH(QString, panel);
        QFETCH(bool, portOpen);
        QFETCH(int, col);
        QFETCH(int, row);
        MeterRig rig = rigFor(simOptions, type);
        if (type == "V") // 4.000 to 20.000 is out of the voltage range
            rig.w->MSFlexGrid1->setTextMatrix(1, 1, "20.000");
        if (closeOn == "empty") { // and it stays empty through a decimal-point change
            rig.w->MSFlexGrid1->setTextMatrix(1, 2, "");
            rig.w->cboDecimal->setFocus();
            QTest::keyClick(rig.w->cboDecimal, Qt::Key_Down);
            QCOMPARE(rig.w->cboDecimal->Text(), QString("dd.dddd"));
        }
        if (closeOn == "falling" || closeOn == "close")
            rig.w->MSFlexGrid1->setTextMatrix(1, 1, closeOn == "falling" ? "3.000" : "4.001");
        rig.w->MSFlexGrid1->setCol(2);
        connect(rig.sim.get(), &SimulatedMeter::commandReceived, rig.w.get(), [&](const QString& c) {
            if (!closeOn.contains(':') || !c.startsWith(closeOn.section(':', -1)))
                return;
            if (closeOn.startsWith("device:"))
                rig.sim->closeDevice();
            else
                rig.w->close();
        });
        MessageRecorder msgs;
        QElapsedTimer clock;
        clock.start();
        rig.press();
        const bool timesOut = simOptions.contains("F189");
        QVERIFY(timesOut ? clock.elapsed() >= 1900 : clock.elapsed() < 1900); // only "no reply" waits for the time-out
        QCOMPARE(msgs.shown.isEmpty() ? QString() : msgs.shown.last().prompt.left(message.size()), message);
        QCOMPARE(msgs.shown.size(), message.isEmpty() ? 0 : 1); // one message at most; no success is claimed
        if (timesOut) // the checklist as specified, then what was tried and where to look for the meter
            QCOMPARE(msgs.shown.last().prompt, RunMessages::communication() + "\r\n\r\nTried: PC Comm Port 1 (" + rig.w->ports().device(1) +
                     "), address 001, 2400 baud.\r\nSerial Settings > Find Meter... searches every address and baud rate for the meter.");
        QCOMPARE(rig.w->ProgressBar1->value(), progress);
        QCOMPARE(rig.w->panelText(2), panel);
        QCOMPARE(rig.w->MSComm1->portOpen(), portOpen);
        QCOMPARE(rig.w->MSFlexGrid1->Col(), col);
        QCOMPARE(rig.w->MSFlexGrid1->Row(), row);
        if (row > 0) { // a broken table rule: its message names the point, nothing of the table was sent
            QCOMPARE(rig.w->focusWidget(), rig.w->MSFlexGrid1);
            QVERIFY(msgs.shown.last().prompt.endsWith(QString("Point %1").arg(row + 1)));
            QVERIFY(!rig.sim->received().join(' ').contains("2A1"));
        }
        const bool ends = message.startsWith("This program"); // the window is gone
        QCOMPARE(rig.w->cmdProgramMeter->isEnabled(), !ends);
        QCOMPARE(rig.w->isVisible(), !ends);
        QVERIFY(!rig.w->programmingRunning());
    }

    // Closing during a run asks first; agreed, the run sends no further command and lets
    // the port go, whether or not the meter still owes its reply.
    void closeDuringRun_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<int>("answer");
        QTest::newRow("agreed, reply awaited") << QStringList{"--silent-prefix", "37P"} << int(vbYes);
        QTest::newRow("agreed, meter answering") << QStringList() << int(vbYes);
        QTest::newRow("declined") << QStringList() << int(vbNo);
        QTest::newRow("cancelled") << QStringList() << int(vbCancel);
    }
    void closeDuringRun()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(int, answer);
        MeterRig rig = rigFor(simOptions);
        MessageRecorder msgs;
        msgs.answers << answer;
        int afterClose = -1;
        connect(rig.sim.get(), &SimulatedMeter::commandReceived, rig.w.get(), [&](const QString& c) {
            if (afterClose >= 0)
                ++afterClose;
            else if (c.startsWith("37P")) {
                afterClose = 0;
                rig.w->close();
            }
        });
        rig.press();
        QVERIFY(!rig.w->programmingRunning());
        QVERIFY(msgs.shown.size() >= 1);
        QVERIFY2(msgs.shown[0].prompt.contains("only partly programmed"), qPrintable(msgs.shown[0].prompt));
        const bool agreed = answer == vbYes;
        QCOMPARE(rig.w->isVisible(), !agreed);
        QCOMPARE(afterClose > 0, !agreed); // declined: the run goes on to the end
        QCOMPARE(rig.w->lastRunEnd() == RunEnd::Abandoned, agreed);
        if (agreed) { // released: another program can open the device at once
            QVERIFY(!rig.w->MSComm1->portOpen());
            SerialComm other([&](int) { return rig.sim->devicePath(); });
            other.setCommPort(1);
            QVERIFY(other.setPortOpen(true));
        }
    }
};

QTEST_MAIN(TestProgramMeter)
#include "test_program_meter.moc"
