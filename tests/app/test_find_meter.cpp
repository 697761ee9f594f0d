// Finding meters: the reply wait per rate, `talvo-linearizer scan` against a simulated bus on
// a pseudo-terminal, and the window's Serial Settings > Find Meter... driven by key events.
#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/JobDialog.h"
#include "app/PickList.h"
#include "record/RunRecorder.h"
#include "common/ProgramEnvironment.h"
#include "common/MeterRig.h"
#include "link/MeterLink.h"
#include "meter-sim/SimulatorOptions.h"
#include "spreadsheet/Workbook.h"

namespace {
std::unique_ptr<SimulatedMeter> bus(const QStringList& options)
{
    auto sim = SimulatedMeter::start(SimulatorOptions::parse(options).config);
    return sim ? std::move(sim) : (qFatal("no simulated meter"), nullptr);
}

// The real program with no display and a private TMPDIR and XDG_RUNTIME_DIR; reaped on exit.
// Its display plugin does not exist: a scan needs none (a GUI application would end at once).
struct Scan {
    QTemporaryDir dir;
    QProcess process;
    explicit Scan(const QStringList& arguments)
    {
        QProcessEnvironment env = programEnvironment(dir.path());
        env.insert("QT_QPA_PLATFORM", "no-such-plugin");
        process.setProcessEnvironment(env);
        process.start(LINEARIZER_EXE, QStringList{"scan"} + arguments);
    }
    ~Scan() { process.kill(), process.waitForFinished(); }
    // The event loop runs meanwhile, so that the simulated meters answer.
    bool finish() { return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000); }
};
} // namespace

class TestFindMeter : public QObject {
    Q_OBJECT
    // The list's "Program these meters...": a workbook and a tag per meter, every row checked
    // before anything is sent, then each meter programmed with its own table.
    static void programTheListedMeters(MeterRig& rig, QListWidget* list, MessageRecorder& messages)
    {
        DialogRecorder files;
        QTemporaryDir dir;
        for (int m = 0; m < 2; ++m) {
            Spreadsheet::Application app;
            Spreadsheet::Sheet& sheet = app.Add().ActiveSheet();
            sheet.setNumberFormat("B1:B32", "0.000");
            sheet.Paste(QStringLiteral("4.000\t0.000\r\n20.000\t%1.000").arg(100 * (m + 1)));
            app.SaveCopyAs(dir.filePath(QStringLiteral("tank%1.xlsx").arg(m)));
        }
        QVERIFY(list->contextMenuPolicy() == Qt::ActionsContextMenu);
        auto* action = list->findChild<QAction*>("mnuProgramMeters");
        QVERIFY(action && list->actions().contains(action));
        QCOMPARE(action->text(), QStringLiteral("Program these meters..."));
        action->trigger();
        auto* job = rig.w->findChild<JobDialog*>("dlgProgramMeters");
        QVERIFY(job && job->isVisible());
        QCOMPARE(job->grdJob->rowCount(), 2);
        const QByteArray before = rig.sim->rawReceived();

        files.paths << dir.filePath("tank0.xlsx");
        QTest::mouseClick(qobject_cast<QPushButton*>(job->grdJob->cellWidget(0, JobDialog::ColWorkbook)), Qt::LeftButton);
        job->grdJob->item(0, JobDialog::ColTag)->setText("TK-4");
        QTest::mouseClick(job->cmdProgram, Qt::LeftButton);
        QCOMPARE(messages.prompts(), QStringList{"Meter 006: No workbook is chosen.\nNothing was sent to any meter."});
        QCOMPARE(rig.sim->rawReceived(), before);

        files.paths << dir.filePath("tank1.xlsx");
        QTest::mouseClick(qobject_cast<QPushButton*>(job->grdJob->cellWidget(1, JobDialog::ColWorkbook)), Qt::LeftButton);
        QTest::mouseClick(job->cmdProgram, Qt::LeftButton);
        QCOMPARE(messages.shown.size(), 1); // the runs' messages went to the progress lines
        for (int m = 0; m < 2; ++m) {
            const QString address = job->grdJob->item(m, JobDialog::ColAddress)->text();
            QCOMPARE(job->grdJob->item(m, JobDialog::ColProgress)->text(), QStringLiteral("programmed"));
            QCOMPARE(rig.sim->received(address).filter("2A102"), QStringList{QStringLiteral("2A102%1").arg(100 * (m + 1)) + "000"});
            QCOMPARE(rig.sim->displayFor("20.000", address), QStringLiteral("%1.000").arg(100 * (m + 1)));
        }
        QCOMPARE(rig.w->recorder()->record().meter.address, QStringLiteral("006")); // the last run's record
        QCOMPARE(rig.w->recorder()->record().tag, QString());                       // the window's own again
        QVERIFY(rig.w->cmdProgramMeter->isEnabled());
        job->close();
        messages.shown.clear();
    }

private slots:
    void replyWait_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("firstByte"); // (11 frame + 1) characters * 10 bits, rounded up, + 60
        QTest::addColumn<int>("rest");      // 16 reply characters * 10 bits, rounded up, + 60
        QTest::newRow("300") << 300 << 400 + 60 << 534 + 60;
        QTest::newRow("2400") << 2400 << 50 + 60 << 67 + 60;
        QTest::newRow("19200") << 19200 << 7 + 60 << 9 + 60;
    }
    void replyWait()
    {
        QFETCH(int, baud);
        QFETCH(int, firstByte);
        QFETCH(int, rest);
        QCOMPARE(MeterLink::scanReplyWaitMs(baud), firstByte);
        QCOMPARE(MeterLink::scanRestWaitMs(baud), rest);
    }
    void order()
    {
        QCOMPARE(MeterLink::scanOrder("9600"), QStringList({"9600", "2400", "19200", "4800", "1200", "600", "300"}));
        QCOMPARE(MeterLink::scanOrder("2400"), QStringList({"2400", "9600", "19200", "4800", "1200", "600", "300"}));
        QCOMPARE(MeterLink::firmwareText(QStringLiteral("\x02" "A0005 01.100\x03")), QStringLiteral("01.100"));
    }

    // `scan` against simulated meters: what it lists on standard output and its exit status.
    void scans_data()
    {
        QTest::addColumn<QStringList>("meters");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<int>("status");
        const QStringList at2400{"--address", "3-8", "--baud", "2400", "--all"};
        // At 2400 the line is garbled for the meters: only the two at 9600 take a query, twice each.
        QTest::newRow("two meters on a bus") << QStringList{"--address", "005", "--address", "009", "--baud", "9600"}
                                             << QStringList{"--address", "3-10", "--baud", "2400", "--baud", "9600", "--all"}
                                             << "005\t9600\t01.100\n009\t9600\t01.100\n" << 0;
        QTest::newRow("first meter stops") << QStringList{"--address", "002", "--address", "003"}
                                           << QStringList{"--address", "1-4", "--baud", "2400"} << "002\t2400\t01.100\n" << 0;
        QTest::newRow("none answers") << QStringList{"--address", "200"}
                                      << QStringList{"--address", "1-3", "--baud", "2400", "--baud", "19200"} << "" << 1;
        // A late reply comes while the next address is asked: it names its own.
        for (const char* ms : {"100", "150", "300"})
            QTest::newRow(qPrintable(QStringLiteral("%1 ms late").arg(ms))) << QStringList{"--address", "005", "--latency", ms} << at2400
                                                                            << "005\t2400\t01.100\n" << 0;
        QTest::newRow("glitched echo, no meter") << QStringList{"--address", "200", "--echo-glitch", "before"} << at2400 << "" << 1;
        QTest::newRow("echo without its SOH, no meter") << QStringList{"--address", "200", "--echo-glitch", "lost"} << at2400 << "" << 1;
        QTest::newRow("escapes in the firmware text") << QStringList{"--address", "004", "--firmware", "01.100\x1b[2J"} << at2400
                                                      << "004\t2400\t01.100<1b>[2J\n" << 0;
    }
    void scans()
    {
        QFETCH(QStringList, meters);
        QFETCH(QStringList, arguments);
        QFETCH(QString, listed);
        auto sim = bus(meters);
        Scan scan(QStringList{"--port", sim->devicePath()} + arguments);
        QVERIFY(scan.finish());
        QTEST(scan.process.exitCode(), "status");
        QCOMPARE(QString::fromLatin1(scan.process.readAllStandardOutput()), listed);
        const int found = int(listed.count('\n'));
        const QString summary = found == 0 ? "no meter answered" : found == 1 ? "1 meter found" : "2 meters found";
        QVERIFY(scan.process.readAllStandardError().contains(summary.toLatin1()));
        if (found)
            QCOMPARE(sim->received().size(), 2 * found); // found, then asked again
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("no port") << QStringList{"--all"} << 64 << "scan needs --port";
        QTest::newRow("baud") << QStringList{"--port", "1", "--baud", "12345"} << 64 << "--baud takes 300, 600, 1200, 2400, 4800, 9600 or 19200, not \"12345\"";
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

    // Serial Settings > Find Meter... driven through its real dialogs: Cancel, then a search that
    // lists every meter of the rate at which the first answered, and Use.
    void windowChoosesAMeter()
    {
        MeterRig rig(SimulatorOptions::parse({"--address", "004", "--address", "006", "--baud", "9600"}).config);
        MessageRecorder messages;
        rig.w->show();
        rig.w->selectListText(rig.w->cboBaudRate, "9600"); // the selected rate is tried first
        auto findMeter = [&] {
            // Alt+S opens Serial Settings; Return takes its first item, Find Meter...
            rig.w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(rig.w.get()));
            QTest::keyClick(rig.w.get(), Qt::Key_S, Qt::AltModifier);
            QVERIFY(QTest::qWaitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }));
            QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
        };
        // The search runs inside the menu's key event: Cancel is pressed from a timer meanwhile.
        QTimer cancel;
        connect(&cancel, &QTimer::timeout, [&] {
            auto* progress = rig.w->findChild<QWidget*>("dlgFindMeterProgress");
            if (progress && progress->isVisible())
                cancel.stop(), QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
        });
        cancel.start(50);
        findMeter();
        QVERIFY(!cancel.isActive() && !rig.w->searching());
        QCOMPARE(rig.w->panelText(1), QStringLiteral("Search cancelled"));
        QVERIFY(!rig.w->findChild<QDialog*>("dlgFindMeter"));

        findMeter();
        QDialog* dialog = nullptr;
        QVERIFY(QTest::qWaitFor([&] { return (dialog = rig.w->findChild<QDialog*>("dlgFindMeter")) != nullptr; }));
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(rig.w->panelText(1), QStringLiteral("2 meters found"));
        auto* list = dialog->findChild<QListWidget*>("lstMeters");
        QCOMPARE(list->count(), 2);
        for (int i = 0; i < 2; ++i) {
            const QString line = QStringLiteral("Address 00%1 at 9600 baud, firmware 01.100").arg(4 + 2 * i);
            QCOMPARE(list->item(i)->text(), line);
            QCOMPARE(list->item(i)->toolTip(), line);
            QVERIFY2(list->viewport()->width() >= list->fontMetrics().horizontalAdvance(line), "the line is cut");
        }
        programTheListedMeters(rig, list, messages);
        if (QTest::currentTestFailed())
            return;
        list->setCurrentRow(1);
        QTest::mouseClick(dialog->findChild<QPushButton*>("cmdUseMeter"), Qt::LeftButton);
        QCOMPARE(rig.w->cboAddress->Text(), QStringLiteral("006"));
        QCOMPARE(rig.w->cboBaudRate->Text(), QStringLiteral("9600"));
        QCOMPARE(rig.w->panelText(1), QStringLiteral("Address 006 and 9600 baud set"));
        QVERIFY(messages.shown.isEmpty());
    }

};

QTEST_MAIN(TestFindMeter)
#include "test_find_meter.moc"
