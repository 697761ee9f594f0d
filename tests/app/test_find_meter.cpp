// Finding meters: the reply wait per rate, `talvo-linearizer scan` against a simulated bus on
// a pseudo-terminal, and the window's Serial Settings > Find Meter... driven by key events.
#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/PickList.h"
#include "common/ProgramEnvironment.h"
#include "common/MeterRig.h"
#include "link/MeterLink.h"
#include "meter-sim/SimulatorOptions.h"

namespace {
std::unique_ptr<SimulatedMeter> bus(const QStringList& options)
{
    auto sim = SimulatedMeter::start(SimulatorOptions::parse(options).config);
    return sim ? std::move(sim) : (qFatal("no simulated meter"), nullptr);
}

// The real program with no display and a private TMPDIR and XDG_RUNTIME_DIR; reaped on exit.
struct Scan {
    QTemporaryDir dir;
    QProcess process;
    explicit Scan(const QStringList& arguments)
    {
        process.setProcessEnvironment(programEnvironment(dir.path()));
        process.start(LINEARIZER_EXE, QStringList{"scan"} + arguments);
    }
    ~Scan() { process.kill(), process.waitForFinished(); }
    // The event loop runs meanwhile, so that the simulated meters answer.
    bool finish() { return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000); }
};
} // namespace

class TestFindMeter : public QObject {
    Q_OBJECT
private slots:
    void replyWait_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("ms"); // (11 frame + 16 reply characters) * 10 bits, rounded up, + 60
        QTest::newRow("300") << 300 << 900 + 60;
        QTest::newRow("2400") << 2400 << 113 + 60;
        QTest::newRow("19200") << 19200 << 15 + 60;
    }
    void replyWait()
    {
        QFETCH(int, baud);
        QFETCH(int, ms);
        QCOMPARE(MeterLink::scanReplyWaitMs(baud), ms);
        QVERIFY(MeterLink::scanReplyWaitMs(baud) < 2000); // never the transaction's two seconds
    }
    void order()
    {
        QCOMPARE(MeterLink::scanOrder("2400"), QStringList({"2400", "19200", "9600", "4800", "1200", "600", "300"}));
        QCOMPARE(MeterLink::firmwareText(QStringLiteral("\x02" "A0005 01.100\x03")), QStringLiteral("01.100"));
    }

    void twoMetersOnABus()
    {
        auto sim = bus({"--address", "005", "--address", "009", "--baud", "9600"});
        Scan scan({"--port", sim->devicePath(), "--address", "3-10", "--baud", "2400", "--baud", "9600", "--all"});
        QVERIFY(scan.finish());
        QCOMPARE(scan.process.exitCode(), 0);
        QCOMPARE(scan.process.readAllStandardOutput(), QByteArray("005\t9600\t01.100\n009\t9600\t01.100\n"));
        QVERIFY(scan.process.readAllStandardError().contains("2 meters found"));
        // Only the two meters took a query: at 2400 the line was garbled for them.
        QCOMPARE(sim->received(), QStringList({"F189", "F189"}));
    }

    void firstMeterStops()
    {
        auto sim = bus({"--address", "002", "--address", "003"});
        Scan scan({"--port", sim->devicePath(), "--address", "1-4", "--baud", "2400"});
        QVERIFY(scan.finish());
        QCOMPARE(scan.process.exitCode(), 0);
        QCOMPARE(scan.process.readAllStandardOutput(), QByteArray("002\t2400\t01.100\n"));
    }

    void noneAnswers()
    {
        auto sim = bus({"--address", "200"});
        Scan scan({"--port", sim->devicePath(), "--address", "1-3", "--baud", "2400", "--baud", "19200"});
        QVERIFY(scan.finish());
        QCOMPARE(scan.process.exitCode(), 1);
        QVERIFY(scan.process.readAllStandardOutput().isEmpty());
        QVERIFY(scan.process.readAllStandardError().contains("no meter answered"));
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("no port") << QStringList{"--all"} << 64 << "scan needs --port";
        QTest::newRow("baud") << QStringList{"--port", "1", "--baud", "12345"} << 64 << "--baud takes";
        QTest::newRow("range reversed") << QStringList{"--port", "1", "--address", "9-3"} << 64 << "--address takes A or A-B";
        QTest::newRow("address 248") << QStringList{"--port", "1", "--address", "248"} << 64 << "--address takes";
        QTest::newRow("program's option") << QStringList{"--port", "1", "--settings", "s.txt"} << 64 << "--settings belongs to";
        QTest::newRow("missing device") << QStringList{"--port", "/dev/talvo-none"} << 11 << "/dev/talvo-none";
    }
    void usage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, message);
        Scan scan(arguments);
        QVERIFY(scan.finish());
        QCOMPARE(scan.process.exitCode(), status);
        QVERIFY2(QString::fromLocal8Bit(scan.process.readAllStandardError()).contains(message), qPrintable(message));
    }

    void windowChoosesAMeter()
    {
        MeterRig rig(SimulatorOptions::parse({"--address", "004", "--baud", "9600"}).config);
        MessageRecorder messages;
        rig.w->show();
        QVERIFY(QTest::qWaitForWindowActive(rig.w.get()));
        rig.w->selectListText(rig.w->cboBaudRate, "9600"); // the selected rate is tried first
        // Alt+S opens Serial Settings; Return takes its first item, Find Meter...
        QTest::keyClick(rig.w.get(), Qt::Key_S, Qt::AltModifier);
        QVERIFY(QTest::qWaitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
        // The search stops at the first meter: 001 to 003 stay silent, 004 answers.
        QDialog* dialog = nullptr;
        QVERIFY(QTest::qWaitFor([&] { return (dialog = rig.w->findChild<QDialog*>("dlgFindMeter")) != nullptr; }, 60000));
        auto* list = dialog->findChild<QListWidget*>("lstMeters");
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QStringLiteral("Address 004 at 9600 baud, firmware 01.100"));
        QTest::mouseClick(dialog->findChild<QPushButton*>("cmdUseMeter"), Qt::LeftButton);
        QCOMPARE(rig.w->cboAddress->Text(), QStringLiteral("004"));
        QCOMPARE(rig.w->cboBaudRate->Text(), QStringLiteral("9600"));
        QVERIFY(messages.shown.isEmpty());
    }
};

QTEST_MAIN(TestFindMeter)
#include "test_find_meter.moc"
