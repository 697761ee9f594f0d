// The application shell through the real window: start-up defaults and the port probe,
// the single-instance lock, Exit, the status timer, fonts, and how a run reports a
// refusing meter, a port that refuses its speed, and where a workbook is exported.
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSerialPort>
#include <QSignalSpy>
#include <cstring>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "app/PickList.h"
#include "link/ProbeVerdict.h"
#include "common/TestPty.h"
#include "common/MeterRig.h"
#include "link/SerialComm.h"
#include "app/WorkbookViewer.h"

class TestWindowShell : public QObject {
    Q_OBJECT
private slots:
    void startUpOffersNonModemPorts_data()
    {
        QTest::addColumn<QString>("devices"); // port=kind: pty, modem, busy (held by another program), none
        QTest::addColumn<QString>("offered");
        QTest::newRow("no ports") << "" << "";
        QTest::newRow("modem left out, first offered selected") << "1=modem 3=pty 5=none" << "3";
        QTest::newRow("each answer judged alone") << "1=pty 2=modem 4=pty" << "1 4";
        QTest::newRow("port held by another program") << "1=busy 2=pty" << "2";
    }
    void startUpOffersNonModemPorts()
    {
        QFETCH(QString, devices);
        QFETCH(QString, offered);
        std::vector<std::unique_ptr<TestPty>> ptys;
        QSerialPort holder;
        PortMap ports;
        for (const QString& d : devices.split(' ', Qt::SkipEmptyParts)) {
            const QString kind = d.section('=', 1);
            ptys.push_back(std::make_unique<TestPty>(kind == "modem"));
            ports.map(d.section('=', 0, 0).toInt(), kind == "none" ? "/dev/does-not-exist" : ptys.back()->path());
            if (kind == "busy") {
                holder.setPortName(ptys.back()->path());
                QVERIFY(holder.open(QIODevice::ReadWrite));
            }
        }
        MessageRecorder messages;
        // The modem answers from this thread's event loop: give it the real probe's half second,
        // so that a loaded machine does not turn a late "OK" into an offered port.
        QTemporaryDir lockDir;
        AppOptions options;
        options.ports = ports;
        options.lockPath = lockDir.filePath("w.lock");
        options.probeWaitMs = ProbeVerdict::ProbeWaitMs;
        auto w = std::make_unique<frmMain>(options);
        QStringList list;
        for (int i = 0; i < w->cboCommPort->count(); ++i)
            list << w->cboCommPort->List(i);
        QCOMPARE(list.join(' ') + "|" + w->cboCommPort->Text() + "|" + messages.prompts().join(""), offered + "|" + list.value(0) + "|");
        for (const QString& n : list) { // the probe let go of every port
            QSerialPort again(ports.device(n.toInt()));
            QVERIFY2(again.open(QIODevice::ReadWrite), qPrintable(again.errorString()));
        }
    }

    void onlyALiveCopyBlocksAStart_data()
    {
        QTest::addColumn<QString>("holder"); // who had the lock before; only a live window refuses the start
        QTest::newRow("another copy runs") << "window";
        QTest::newRow("a killed copy, not yet reaped") << "killed";
        QTest::newRow("no folder for the lock") << "";
    }
    void onlyALiveCopyBlocksAStart()
    {
        QFETCH(QString, holder);
        const bool refused = holder == "window";
        QTemporaryDir runtime; // the lock's place: the user's runtime folder
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        const QString lock = runtime.filePath("talvo-linearizer.lock");
        AppOptions options;
        options.lockPath = holder.isEmpty() ? runtime.filePath("missing/instance.lock") : QString();
        MessageRecorder messages;
        auto first = holder == "window" ? std::make_unique<frmMain>(options) : nullptr;
        pid_t child = -1;
        if (holder == "killed" && (child = ::fork()) == 0) {
            ::flock(::open(QFile::encodeName(lock).constData(), O_RDWR | O_CREAT, 0600), LOCK_EX);
            ::raise(SIGKILL);
        }
        siginfo_t info;
        if (child > 0) // dead, not reaped
            QCOMPARE(::waitid(P_PID, child, &info, WEXITED | WNOWAIT), 0);
        auto w = std::make_unique<frmMain>(options);
        if (child > 0)
            ::waitpid(child, nullptr, 0);
        QCOMPARE(w->refusedAsSecondInstance(), refused);
        QCOMPARE(messages.prompts(), refused ? QStringList{"This program is already running"} : QStringList());
        first.reset(), w.reset(); // the lock goes with its holder
        QVERIFY(!std::make_unique<frmMain>(options)->refusedAsSecondInstance());
    }

    void fontsStatusAndExit()
    {
        MessageRecorder messages;
        messages.answers = {vbNo, vbCancel, vbYes};
        auto w = openWindow();
        QVERIFY(w);
        QStringList bold; // the window font is bold; pick-lists and option buttons are regular
        for (const char* name : {"MSFlexGrid1", "Text1", "Panel1", "cmdProgramMeter", "cboSetPoints", "cboDecimal", "optCurrent"})
            bold << QString("%1=%2").arg(name).arg(w->findChild<QWidget*>(name)->font().bold());
        QCOMPARE(bold.join(' '), QString("MSFlexGrid1=1 Text1=1 Panel1=1 cmdProgramMeter=1 cboSetPoints=0 cboDecimal=0 optCurrent=0"));
        w->setPanelText(1, "first");
        w->RestartStatusTimer();
        QVERIFY(QTest::qWaitFor([&] { return w->tmrStatusBarText.remainingTime() < 1000; }));
        w->RestartStatusTimer(); // restarted: two seconds from here
        QVERIFY(w->tmrStatusBarText.remainingTime() > 1000);
        QSignalSpy fired(&w->tmrStatusBarText, &QTimer::timeout);
        QCOMPARE(w->panelText(1), QString("first"));
        QVERIFY(fired.wait(5000));
        QCOMPARE(fired.count(), 1);
        QCOMPARE(w->panelText(1), QString()); // cleared when the restarted timer fired
        for (int i = 0; i < 3; ++i) // No and Cancel keep the window
            QCOMPARE((w->mnuExit->trigger(), w->isVisible()), i < 2);
        QCOMPARE(messages.shown[0].prompt + messages.shown[0].title, QString("Are you sure you want to exit the program?Exit Program"));
    }

    void runEndsWithItsCause_data()
    {
        QTest::addColumn<QString>("refusal"); // the meter's code for "37P"; "": the port is lost while its speed is set
        QTest::newRow("refusal code") << "3";
        QTest::newRow("refusal code not a digit") << "X";
        QTest::newRow("port lost while its speed is set") << "";
    }
    void runEndsWithItsCause()
    {
        QFETCH(QString, refusal);
        MeterConfig config;
        if (!refusal.isEmpty())
            config.refusals.insert("37P", refusal[0]);
        MessageRecorder messages;
        MeterRig rig(config);
        const QString device = rig.ports.device(1);
        auto& w = rig.w;
        auto& sim = rig.sim;
        if (refusal.isEmpty()) { // the run must end there, not at a later write to the lost port
            QVERIFY(w->selectListText(w->cboBaudRate, "9600"));
            connect(&w->MSComm1->port(), &QSerialPort::baudRateChanged, this, [&](qint32 baud) {
                if (baud == 9600)
                    sim.reset();
            });
        }
        QTest::mouseClick(w->cmdProgramMeter, Qt::LeftButton);
        const QString lost = QString("PC Comm Port 1 (%1) cannot be used.\r\nReason: %2").arg(device, std::strerror(EIO));
        QCOMPARE(messages.prompts(), QStringList{refusal.isEmpty() ? lost : "Error writing output option: \r\nMeter error code " + refusal});
    }

    void exportGoesToAPrivateFolder()
    {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        QStringList viewed;
        Spreadsheet::setViewerHook([&](const QString& path) { viewed << path; return true; });
        MessageRecorder messages;
        auto w = makeWindow();
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        const QString folder = runtime.filePath("talvo-linearizer");
        QCOMPARE(QFileInfo(viewed.value(0)).absolutePath(), folder);
        struct stat st {};
        QVERIFY(::lstat(QFile::encodeName(folder).constData(), &st) == 0 && (st.st_mode & 0777) == 0700);
        QVERIFY(::lstat(QFile::encodeName(viewed[0]).constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0);
        // A folder that is a link (planted by someone else) is not written through.
        QVERIFY(QDir(folder).removeRecursively() && QFile::link(runtime.filePath("other"), folder) && QDir().mkdir(runtime.filePath("other")));
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        QVERIFY(viewed.size() == 1 && messages.prompts().last().startsWith("The workbook could not be written"));
        QVERIFY(QDir(runtime.filePath("other")).isEmpty());
        Spreadsheet::setViewerHook({});
    }

    // Per user, across windows: the last folder of settings files, the recent files under File
    // (a missing one removed with a word), ".txt" added to a settings name without one.
    void remembersPerUser()
    {
        QSettings(QSettings::IniFormat, QSettings::UserScope, "talvo-linearizer", "talvo-linearizer").clear();
        QTemporaryDir dir;
        MessageRecorder messages;
        DialogRecorder dialogs;
        dialogs.paths << dir.filePath("first") << dir.filePath("second.cfg");
        auto w = makeWindow();
        QVERIFY(!w->mnuRecent->isEnabled());
        for (int i = 0; i < 2; ++i)
            w->mnuSave->trigger();
        QVERIFY(QFileInfo::exists(dir.filePath("first.txt")));
        w = makeWindow(); // another window, the same user
        QCOMPARE(w->startFolder("Text (*.txt)|*.txt|All Files (*.*)|*.*"), dir.path());
        QVERIFY(w->mnuRecent->actions().size() == 2 && QFile::remove(dir.filePath("second.cfg")));
        w->mnuRecent->actions()[0]->trigger();
        QVERIFY2(messages.prompts().join("").contains("no longer there"), qPrintable(messages.prompts().join("")));
        QCOMPARE(w->recentFiles(), QStringList(dir.filePath("first.txt")));
        w->mnuRecent->actions()[0]->trigger();
        QCOMPARE(w->panelText(1), "File: - [" + dir.filePath("first.txt") + "]");
        QCOMPARE(messages.shown.size(), 1);
    }
};

QTEST_MAIN(TestWindowShell)
#include "test_window_shell.moc"
