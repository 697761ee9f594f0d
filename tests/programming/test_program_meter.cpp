// Program Meter against the simulated meter over a pseudo-terminal: the commands on the
// wire in order, progress, panels, messages and the button, for every way a run ends.
#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "app/PickList.h"
#include "common/TestWindow.h"
#include "link/SerialComm.h"
#include "meter-sim/SimulatedMeter.h"
#include "table/FlexGrid.h"

namespace {
const QString Title = QString::fromLatin1(AppTitle);
const QString Success = QStringLiteral("   Information has been successfully sent to the meter!");
const QString Timeout = QStringLiteral("Serial port timeout: OOwr.");
const QString Missing = QStringLiteral("Please enter value for every point or reset the number of points");

struct Rig {
    std::unique_ptr<SimulatedMeter> sim;
    std::unique_ptr<frmMain> w;
};

Rig startRig(const MeterConfig& config = MeterConfig())
{
    Rig rig;
    QString error;
    rig.sim = SimulatedMeter::start(config, &error);
    if (!rig.sim)
        qFatal("simulated meter: %s", qPrintable(error));
    PortMap ports;
    ports.map(1, rig.sim->devicePath());
    rig.w = makeWindow(ports);
    if (rig.w->cboCommPort->Text() != QLatin1String("1"))
        rig.w->selectListText(rig.w->cboCommPort, QStringLiteral("1"));
    rig.w->show();
    rig.sim->clearReceived();
    return rig;
}

// Chooses the input type and fills the table (rows set through the grid).
void setTable(frmMain* w, QRadioButton* type, const QStringList& inputs, const QStringList& displays)
{
    if (!type->isChecked())
        w->setOptionValue(type, true);
    const QString n = QString::number(inputs.size());
    if (w->cboSetPoints->Text() != n)
        w->selectListText(w->cboSetPoints, n);
    if (w->MSFlexGrid1->Rows() != inputs.size())
        w->MSFlexGrid1->setRows(int(inputs.size()));
    for (int r = 0; r < inputs.size(); ++r) {
        w->MSFlexGrid1->setTextMatrix(r, 0, QString::number(r + 1));
        w->MSFlexGrid1->setTextMatrix(r, 1, inputs[r]);
        w->MSFlexGrid1->setTextMatrix(r, 2, displays[r]);
    }
}

QStringList head(const QString& address, const QString& config, const QString& decimal, const QString& points)
{
    return {QStringLiteral("F189"), QStringLiteral("38") + address, config, decimal, points};
}

void press(frmMain* w) { QTest::mouseClick(w->cmdProgramMeter, Qt::LeftButton); }
} // namespace

class TestProgramMeter : public QObject {
    Q_OBJECT
private slots:
    void voltageRunTwoPoints()
    {
        Rig rig = startRig();
        setTable(rig.w.get(), rig.w->optVoltage, {"-5.000", "5.000"}, {"-5.000", "5.000"});
        QStringList progress;
        connect(rig.sim.get(), &SimulatedMeter::commandReceived, rig.w.get(), [&](const QString& c) {
            progress << QStringLiteral("%1 %2").arg(c.left(3)).arg(rig.w->ProgressBar1->value());
        });
        MessageRecorder msgs;
        int progressAtMessage = -1;
        QString panel2AtMessage;
        msgs.onShown = [&](const ShownMessage&) {
            progressAtMessage = rig.w->ProgressBar1->value();
            panel2AtMessage = rig.w->panelText(2);
        };
        press(rig.w.get());
        QCOMPARE(rig.sim->received(),
                 (head("001", "200030", "37P3", "48L02")
                  + QStringList{"2A201-5000", "2A2025000", "2A001-5000", "2A0025000", "33V"}));
        // Voltage counts its configuration command after the acknowledgement.
        QCOMPARE(progress, (QStringList{"F18 0", "380 0", "200 20000", "37P 30000", "48L 40000", "2A2 50000",
                                        "2A2 50000", "2A0 50000", "2A0 50000", "33V 50000"}));
        QCOMPARE(msgs.shown.size(), 1);
        QCOMPARE(msgs.shown[0].prompt, Success);
        QCOMPARE(msgs.shown[0].style, 0);
        QCOMPARE(msgs.shown[0].title, Title);
        QCOMPARE(progressAtMessage, 70000);
        QCOMPARE(panel2AtMessage, QStringLiteral("Processing..."));
        QCOMPARE(rig.w->ProgressBar1->maximum(), 70000);
        QCOMPARE(rig.w->ProgressBar1->value(), 0);
        QCOMPARE(rig.w->panelText(2), QString());
        QVERIFY(rig.w->cmdProgramMeter->isEnabled());
        QVERIFY(!rig.w->programmingRunning());
        QVERIFY(rig.w->MSComm1->portOpen());
    }

    // Progress and panel while each command is on the wire; the button stays disabled
    // and a second press does nothing. Unchecked cells are sent in their normal form.
    void currentRunProgressAndLock()
    {
        Rig rig = startRig();
        setTable(rig.w.get(), rig.w->optCurrent, {"4", "20.000"}, {"4.000", "20"});
        MessageRecorder msgs;
        QStringList seen;
        bool enabledDuringRun = false, notRunning = false;
        connect(rig.sim.get(), &SimulatedMeter::commandReceived, rig.w.get(), [&](const QString& c) {
            seen << QStringLiteral("%1 %2 %3").arg(c).arg(rig.w->ProgressBar1->value()).arg(rig.w->panelText(2));
            enabledDuringRun |= rig.w->cmdProgramMeter->isEnabled();
            notRunning |= !rig.w->programmingRunning();
            rig.w->cmdProgramMeter->click(); // ignored while disabled
        });
        press(rig.w.get());
        QCOMPARE(seen, (QStringList{"F189 0 ", "38001 0 ", "201130 30000 Processing...", "37P3 30000 Processing...",
                                    "48L02 40000 Processing...", "2A3014000 50000 Processing...",
                                    "2A30220000 50000 Processing...", "2A1014000 50000 Processing...",
                                    "2A10220000 50000 Processing...", "33I 50000 Processing..."}));
        QVERIFY(!enabledDuringRun);
        QVERIFY(!notRunning);
        QCOMPARE(msgs.prompts(), QStringList{Success});
        QVERIFY(rig.w->cmdProgramMeter->isEnabled());
    }

    void pulseRunUsesVoltageSet()
    {
        Rig rig = startRig();
        setTable(rig.w.get(), rig.w->optPulse, {"0.0", "1000.0"}, {"0.000", "100.000"});
        rig.w->selectListText(rig.w->cboDecimal, QStringLiteral("dd.dddd"));
        rig.w->MSFlexGrid1->setTextMatrix(0, 2, QStringLiteral("0.0000"));
        rig.w->MSFlexGrid1->setTextMatrix(1, 2, QStringLiteral("-9.9999"));
        rig.w->selectListText(rig.w->cboAddress, QStringLiteral("001"));
        MessageRecorder msgs;
        press(rig.w.get());
        QCOMPARE(rig.sim->received(), (head("001", "208010", "37P4", "48L02")
                                       + QStringList{"2A20100", "2A20210000", "2A00100000", "2A002-99999", "33V"}));
        QCOMPARE(msgs.prompts(), QStringList{Success});
    }

    void thirtyTwoPoints_data()
    {
        QTest::addColumn<bool>("current");
        QTest::newRow("voltage") << false;
        QTest::newRow("current") << true;
    }
    void thirtyTwoPoints()
    {
        QFETCH(bool, current);
        MeterConfig config;
        config.address = QStringLiteral("247");
        config.baud = 19200;
        Rig rig = startRig(config);
        rig.w->selectListText(rig.w->cboAddress, QStringLiteral("247"));
        rig.w->selectListText(rig.w->cboBaudRate, QStringLiteral("19200"));
        const double offset = current ? 0.0 : -8.0;
        auto digits = [&](double v) { return QString::number(v, 'f', 3).remove(QLatin1Char('.')); };
        QStringList in, out;
        for (int p = 0; p < 32; ++p) {
            in << QString::number(offset + p * 0.5, 'f', 3);
            out << QString::number(p * 3.0, 'f', 3);
        }
        setTable(rig.w.get(), current ? rig.w->optCurrent : rig.w->optVoltage, in, out);
        MessageRecorder msgs;
        press(rig.w.get());
        const QStringList got = rig.sim->received();
        QCOMPARE(got.size(), 5 + 64 + 1);
        QCOMPARE(got.mid(0, 5), head("247", current ? "201130" : "200030", "37P3", "48L32"));
        const QString inP = current ? "2A3" : "2A2", outP = current ? "2A1" : "2A0";
        QCOMPARE(got.mid(5, 4), (QStringList{inP + "01" + digits(offset), inP + "02" + digits(offset + 0.5),
                                             outP + "010000", outP + "023000"}));
        QCOMPARE(got[9], inP + "03" + digits(offset + 1));
        QCOMPARE(got[10], outP + "036000");
        QCOMPARE(got[67], inP + "32" + digits(offset + 15.5));
        QCOMPARE(got[68], outP + "3293000");
        QCOMPARE(got.last(), QString(current ? "33I" : "33V"));
        QCOMPARE(msgs.prompts(), QStringList{Success});
    }

    // Silent firmware query: communication message after the time-out, no table check.
    void noAnswerToFirmwareQuery()
    {
        MeterConfig config;
        config.silentPrefixes = {QStringLiteral("F189")};
        Rig rig = startRig(config);
        rig.w->MSFlexGrid1->setTextMatrix(1, 1, QString());
        MessageRecorder msgs;
        QString panel1AtMessage;
        msgs.onShown = [&](const ShownMessage&) { panel1AtMessage = rig.w->panelText(1); };
        press(rig.w.get());
        QCOMPARE(rig.sim->received(), QStringList{"F189"});
        QCOMPARE(msgs.shown.size(), 1);
        QVERIFY(msgs.shown[0].prompt.startsWith(QStringLiteral("Please verify the following conditions:\r\n")));
        QCOMPARE(msgs.shown[0].title, QStringLiteral("Communication Error"));
        QCOMPARE(msgs.shown[0].style, 0);
        QCOMPARE(panel1AtMessage, QStringLiteral("Error Detected"));
        QVERIFY(!rig.w->MSComm1->portOpen());
        QCOMPARE(rig.w->ProgressBar1->value(), 0);
        QVERIFY(rig.w->cmdProgramMeter->isEnabled());
    }

    void tableChecksThroughWindow_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<QStringList>("displays");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("style");
        const QStringList d2{"1.000", "2.000"};
        QTest::newRow("empty display") << "I" << QStringList{"4.000", "20.000"} << QStringList{"1.000", ""} << Missing
                                       << "Missing Point Value" << 0;
        QTest::newRow("letters") << "I" << QStringList{"4.000", "abc"} << d2 << Missing << "Missing Point Value" << 0;
        QTest::newRow("blanks") << "V" << QStringList{"   ", "2.000"} << d2 << Missing << "Missing Point Value" << 0;
        QTest::newRow("order") << "V" << QStringList{"20.000", "20.000"} << d2
                               << "Check Input Values and correct one or both of the following:\r\n\r\n"
                                  "1. Input value is less than a previously entered input value\r\n"
                                  "2. Input value is the same as a previously entered input value"
                               << "Input Value Error" << 0;
        QTest::newRow("voltage range") << "V" << QStringList{"9.950", "10.020"} << d2
                                       << "Input values for Voltage must be between -10.000 and 10.000 (V)" << Title << 16;
        QTest::newRow("voltage span") << "V" << QStringList{"1.000", "1.050"} << d2
                                      << "The minimum input span for Voltage is 0.10 VDC\r\n"
                                         "Please correct your values to reflect the minimum input span"
                                      << Title << 64;
        QTest::newRow("current span before range") << "I" << QStringList{"22.980", "23.100"} << d2
                                                   << "The minimum input span for Current is 0.15 mA\r\n"
                                                      "Please correct your values to reflect the minimum input span"
                                                   << Title << 64;
        QTest::newRow("current range") << "I" << QStringList{"22.900", "23.500"} << d2
                                       << "Input values for Current must be between 0.000 and 23.000 (mA)" << Title << 16;
        QTest::newRow("pulse range") << "P" << QStringList{"0.0", "30000.1"} << d2
                                     << "Input values for Pulse must be between 0 and 30,000 (Hz)" << Title << 16;
        QTest::newRow("pulse span") << "P" << QStringList{"0.0", "9.0"} << d2
                                    << "The minimum input span for Pulse is 10 Hz\r\n"
                                       "Please correct your values to reflect the minimum input span"
                                    << Title << 64;
    }
    void tableChecksThroughWindow()
    {
        QFETCH(QString, type);
        QFETCH(QStringList, inputs);
        QFETCH(QStringList, displays);
        QFETCH(QString, prompt);
        QFETCH(QString, title);
        QFETCH(int, style);
        Rig rig = startRig();
        QRadioButton* option = type == "V" ? rig.w->optVoltage : type == "I" ? rig.w->optCurrent : rig.w->optPulse;
        setTable(rig.w.get(), option, inputs, displays);
        rig.w->MSFlexGrid1->setCol(2);
        MessageRecorder msgs;
        QString panel2AtMessage = "unset";
        msgs.onShown = [&](const ShownMessage&) { panel2AtMessage = rig.w->panelText(2); };
        press(rig.w.get());
        QCOMPARE(rig.sim->received(), QStringList{"F189"});
        QCOMPARE(msgs.shown.size(), 1);
        QCOMPARE(msgs.shown[0].prompt, prompt);
        QCOMPARE(msgs.shown[0].title, title);
        QCOMPARE(msgs.shown[0].style, style);
        QCOMPARE(panel2AtMessage, QString());
        QCOMPARE(rig.w->MSFlexGrid1->Col(), prompt == Missing ? 2 : 1);
        QCOMPARE(rig.w->ProgressBar1->value(), 0);
        QCOMPARE(rig.w->panelText(1), QString());
        QVERIFY(rig.w->cmdProgramMeter->isEnabled());
        QVERIFY(rig.w->MSComm1->portOpen());
    }

    // Values are read with "." whatever the locale.
    void germanLocale()
    {
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Rig rig = startRig();
        setTable(rig.w.get(), rig.w->optVoltage, {"4.000", "8.000"}, {"4.000", "8.000"});
        MessageRecorder msgs;
        press(rig.w.get());
        QLocale::setDefault(saved);
        QCOMPARE(msgs.prompts(), QStringList{Success});
        QCOMPARE(rig.sim->received().mid(5, 2), (QStringList{"2A2014000", "2A2028000"}));
    }

    void refusedDecimalPointStopsRun()
    {
        MeterConfig config;
        config.refusals.insert(QStringLiteral("37P"), QLatin1Char('2'));
        Rig rig = startRig(config);
        MessageRecorder msgs;
        press(rig.w.get());
        QCOMPARE(rig.sim->received(), (QStringList{"F189", "38001", "201130", "37P3"}));
        QCOMPARE(msgs.shown.size(), 1);
        QVERIFY(msgs.shown[0].prompt.startsWith(QStringLiteral("Error writing output option: \r\n")));
        QCOMPARE(msgs.shown[0].style, 48);
        QCOMPARE(msgs.shown[0].title, Title);
        QCOMPARE(rig.w->ProgressBar1->value(), 30000);
        QCOMPARE(rig.w->panelText(2), QStringLiteral("Processing..."));
        QVERIFY(rig.w->cmdProgramMeter->isEnabled());
        QVERIFY(rig.w->MSComm1->portOpen());
    }

    // A failed point command costs its own group; the run still ends with success.
    void failedPointsSkipTheirGroup()
    {
        MeterConfig config;
        config.silentPrefixes = {QStringLiteral("2A301")};
        config.refusals.insert(QStringLiteral("2A304"), QLatin1Char('3'));
        Rig rig = startRig(config);
        setTable(rig.w.get(), rig.w->optCurrent, {"4.000", "8.000", "12.000", "16.000", "20.000"},
                 {"0.000", "25.000", "50.000", "75.000", "100.000"});
        MessageRecorder msgs;
        QString panel1AtTimeout;
        msgs.onShown = [&](const ShownMessage& m) {
            if (m.prompt == Timeout)
                panel1AtTimeout = rig.w->panelText(1);
        };
        press(rig.w.get());
        QCOMPARE(rig.sim->received().mid(5),
                 (QStringList{"2A3014000", "2A30312000", "2A10350000", "2A30416000", "2A30520000", "2A105100000", "33I"}));
        QCOMPARE(msgs.shown.size(), 3);
        QCOMPARE(msgs.shown[0].prompt, Timeout);
        QCOMPARE(msgs.shown[0].style, 48);
        QCOMPARE(panel1AtTimeout, QStringLiteral("Error Detected"));
        QVERIFY(msgs.shown[1].prompt.startsWith(QStringLiteral("Error writing output option: \r\n")));
        QCOMPARE(msgs.shown[1].style, 48);
        QCOMPARE(msgs.shown[2].prompt, Success);
    }

    void pointsCountTimeoutClosesPort()
    {
        MeterConfig config;
        config.silentPrefixes = {QStringLiteral("48L")};
        Rig rig = startRig(config);
        MessageRecorder msgs;
        press(rig.w.get());
        QCOMPARE(rig.sim->received(), (QStringList{"F189", "38001", "201130", "37P3", "48L02"}));
        QCOMPARE(msgs.shown.size(), 1);
        QCOMPARE(msgs.shown[0].title, QStringLiteral("Communication Error"));
        QVERIFY(!rig.w->MSComm1->portOpen());
        QCOMPARE(rig.w->ProgressBar1->value(), 0);
        QCOMPARE(rig.w->panelText(2), QString());
        QCOMPARE(rig.w->panelText(1), QStringLiteral("Error Detected"));
        QVERIFY(rig.w->cmdProgramMeter->isEnabled());

        rig.sim->config().silentPrefixes.clear();
        rig.sim->clearReceived();
        msgs.shown.clear();
        press(rig.w.get());
        QVERIFY(rig.w->MSComm1->portOpen());
        QCOMPARE(rig.sim->received().size(), 10);
        QCOMPARE(msgs.prompts(), QStringList{Success});
    }

    // A meter at 9600 baud answers only when the window's choice is in force from "F189" on.
    void chosenBaudRateInForce()
    {
        MeterConfig config;
        config.baud = 9600;
        Rig rig = startRig(config);
        rig.w->selectListText(rig.w->cboBaudRate, QStringLiteral("9600"));
        MessageRecorder msgs;
        press(rig.w.get());
        QCOMPARE(rig.sim->lineBaud(), 9600);
        QCOMPARE(rig.sim->received().value(0), QStringLiteral("F189"));
        QCOMPARE(rig.sim->received().size(), 10);
        QCOMPARE(msgs.prompts(), QStringList{Success});
    }

    // Only "01.000" refuses a meter; a refusal reply to the query does not.
    void firmwareReplyWithZPasses()
    {
        MeterConfig config;
        config.refusals.insert(QStringLiteral("F189"), QLatin1Char('0'));
        Rig rig = startRig(config);
        MessageRecorder msgs;
        press(rig.w.get());
        QCOMPARE(rig.sim->received().size(), 10);
        QCOMPARE(msgs.prompts(), QStringList{Success});
    }

    void noInputTypeChosen()
    {
        Rig rig = startRig();
        rig.w->setOptionValue(rig.w->optCurrent, false);
        QVERIFY(!rig.w->optVoltage->isChecked() && !rig.w->optCurrent->isChecked() && !rig.w->optPulse->isChecked());
        MessageRecorder msgs;
        press(rig.w.get());
        QCOMPARE(rig.sim->received(), (QStringList{"F189", "38001"}));
        QVERIFY(msgs.shown.isEmpty()); // nothing was configured, so no success is claimed
        QCOMPARE(rig.w->ProgressBar1->value(), 0);
        QCOMPARE(rig.w->panelText(2), QString());
        QVERIFY(rig.w->cmdProgramMeter->isEnabled());
    }

    // The device vanishes during the download: the port is named, no success is claimed.
    void portFailsDuringRun()
    {
        Rig rig = startRig();
        const QString device = rig.sim->devicePath();
        connect(rig.sim.get(), &SimulatedMeter::commandReceived, rig.w.get(), [&](const QString& c) {
            if (c.startsWith(QLatin1String("2A302")))
                rig.sim->closeDevice();
        });
        MessageRecorder msgs;
        press(rig.w.get());
        QVERIFY(!msgs.prompts().contains(Success));
        QVERIFY(!msgs.shown.isEmpty());
        QVERIFY2(msgs.shown.last().prompt.contains(QStringLiteral("Port 1")), qPrintable(msgs.prompts().join(" | ")));
        QVERIFY(msgs.shown.last().prompt.contains(device));
        QVERIFY(rig.w->cmdProgramMeter->isEnabled());
    }

    void portThatCannotBeOpened()
    {
        Rig rig = startRig();
        const QString device = rig.sim->devicePath();
        rig.sim->closeDevice();
        MessageRecorder msgs;
        press(rig.w.get());
        QCOMPARE(msgs.shown.size(), 1);
        QVERIFY2(msgs.shown[0].prompt.contains(QStringLiteral("Port 1")), qPrintable(msgs.shown[0].prompt));
        QVERIFY(msgs.shown[0].prompt.contains(device));
        QCOMPARE(msgs.shown[0].style, 48);
        QVERIFY(rig.w->cmdProgramMeter->isEnabled());
        QVERIFY(!rig.w->programmingRunning());
    }

    void noPortSelected()
    {
        auto w = makeWindow(PortMap());
        QCOMPARE(w->cboCommPort->Text(), QString());
        MessageRecorder msgs;
        press(w.get());
        QCOMPARE(msgs.shown.size(), 1);
        QVERIFY2(msgs.shown[0].prompt.contains(QStringLiteral("No PC Comm Port")), qPrintable(msgs.shown[0].prompt));
        QVERIFY(w->cmdProgramMeter->isEnabled());
    }

    // Closing the window while a reply is awaited ends the run quietly and closes the port.
    void closeWhileWaiting()
    {
        MeterConfig config;
        config.silentPrefixes = {QStringLiteral("37P")};
        Rig rig = startRig(config);
        MessageRecorder msgs;
        connect(rig.sim.get(), &SimulatedMeter::commandReceived, rig.w.get(), [&](const QString& c) {
            if (c.startsWith(QLatin1String("37P")))
                QTimer::singleShot(50, rig.w.get(), [&] { rig.w->close(); });
        });
        QElapsedTimer clock;
        clock.start();
        press(rig.w.get());
        QVERIFY(clock.elapsed() < 1900);
        QCOMPARE(rig.sim->received().last(), QStringLiteral("37P3"));
        QVERIFY(msgs.shown.isEmpty());
        QVERIFY(!rig.w->MSComm1->portOpen());
        QVERIFY(!rig.w->programmingRunning());
        rig.w.reset();
    }

    // Runs last: it ends the application's event loop.
    void oldFirmwareEndsProgram()
    {
        MeterConfig config;
        config.firmware = QStringLiteral("01.000");
        Rig rig = startRig(config);
        MessageRecorder msgs;
        bool gaveUp = false;
        QTimer::singleShot(0, rig.w.get(), [&] { press(rig.w.get()); });
        QTimer::singleShot(10000, qApp, [&] {
            gaveUp = true;
            QCoreApplication::exit(1);
        });
        QCOMPARE(QApplication::exec(), 0); // the program ends with its window
        QVERIFY(!gaveUp);
        QCOMPARE(rig.sim->received(), QStringList{"F189"});
        QCOMPARE(msgs.shown.size(), 1);
        QCOMPARE(msgs.shown[0].prompt, QStringLiteral("This program requires firmware Ver. 1.100 or greater to use.\r\n"
                                                      "Please contact Technical Support at Quillon for more information."));
        QCOMPARE(msgs.shown[0].style, 16);
        QCOMPARE(msgs.shown[0].title, Title);
        QVERIFY(!rig.w->isVisible());
        QVERIFY(!rig.w->MSComm1->portOpen());
    }
};

QTEST_MAIN(TestProgramMeter)
#include "test_program_meter.moc"
