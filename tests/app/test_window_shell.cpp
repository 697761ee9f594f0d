// The application shell through the real window: start-up defaults and the port probe,
// the single-instance lock, Exit, the status timer, fonts, and how a run reports a
// refusing meter, a port that refuses its speed, and where a workbook is exported.
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPort>
#include <QSysInfo>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "app/PickList.h"
#include "common/TestPty.h"
#include "link/SerialComm.h"
#include "common/TestWindow.h"
#include "meter-sim/SimulatedMeter.h"
#include "spreadsheet/WorkbookViewer.h"
#include "table/FlexGrid.h"

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
        auto w = makeWindow(ports);
        QStringList list;
        for (int i = 0; i < w->cboCommPort->count(); ++i)
            list << w->cboCommPort->List(i);
        QCOMPARE(list.join(' '), offered);
        QCOMPARE(w->cboCommPort->Text(), list.value(0));
        QVERIFY(messages.shown.isEmpty());
        QCOMPARE(w->cboBaudRate->Text() + w->cboAddress->Text() + w->cboDecimal->Text() + w->cboSetPoints->Text(),
                 QString("2400001ddd.ddd2"));
        QCOMPARE(w->MSFlexGrid1->TextMatrix(1, 1) + w->MSFlexGrid1->TextMatrix(1, 2), QString("20.00020.000"));
        QCOMPARE(w->panelText(1), QString("Detected available PC Comm. Ports..."));
        for (const QString& n : list) { // the probe let go of every port
            QSerialPort again(ports.device(n.toInt()));
            QVERIFY2(again.open(QIODevice::ReadWrite), qPrintable(again.errorString()));
        }
    }

    void onlyALiveCopyBlocksAStart_data()
    {
        QTest::addColumn<QString>("holder"); // who had the lock before
        QTest::addColumn<bool>("refused");
        QTest::newRow("another copy runs") << "window" << true;
        QTest::newRow("a killed copy, not yet reaped") << "killed" << false;
        QTest::newRow("no folder for the lock") << "nofolder" << false;
        QTest::newRow("a link planted at the lock") << "link" << false;
    }
    void onlyALiveCopyBlocksAStart()
    {
        QFETCH(QString, holder);
        QFETCH(bool, refused);
        QTemporaryDir dir;
        QString lock = dir.filePath("instance.lock");
        MessageRecorder messages;
        std::unique_ptr<frmMain> first;
        pid_t child = -1;
        if (holder == "window") {
            first = makeWindow(PortMap(), lock);
        } else if (holder == "killed") { // its lock file names a process that still exists
            const QByteArray path = QFile::encodeName(lock);
            const QByteArray tail = ("\n" + QCoreApplication::applicationName() + "\n" + QSysInfo::machineHostName() + "\n").toUtf8();
            int ready[2];
            QVERIFY(::pipe(ready) == 0);
            child = ::fork();
            if (child == 0) {
                const int fd = ::open(path.constData(), O_RDWR | O_CREAT, 0600);
                ::flock(fd, LOCK_EX);
                char own[512];
                const int len = std::snprintf(own, sizeof own, "%d%s", int(::getpid()), tail.constData());
                [[maybe_unused]] auto n = ::write(fd, own, size_t(len));
                n = ::write(ready[1], "x", 1);
                ::pause();
            }
            char c;
            QCOMPARE(::read(ready[0], &c, 1), ssize_t(1));
            ::kill(child, SIGKILL);
            siginfo_t info;
            QCOMPARE(::waitid(P_PID, child, &info, WEXITED | WNOWAIT), 0); // dead, not reaped
        } else if (holder == "nofolder") {
            lock = dir.filePath("missing/instance.lock");
        } else {
            QVERIFY(QFile::link(dir.filePath("elsewhere"), lock));
        }
        auto w = makeWindow(PortMap(), lock);
        if (child > 0)
            ::waitpid(child, nullptr, 0);
        QCOMPARE(w->refusedAsSecondInstance(), refused);
        QCOMPARE(messages.prompts(), refused ? QStringList{"This program is already running"} : QStringList());
        if (refused)
            QCOMPARE(messages.shown[0].style, 48);
        QVERIFY(!QFile::exists(dir.filePath("elsewhere")));
    }

    void lockLivesInTheRuntimeFolder()
    {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        MessageRecorder messages;
        auto first = std::make_unique<frmMain>(AppOptions{});
        QVERIFY(QFile::exists(runtime.filePath("talvo-linearizer.lock")));
        QVERIFY(std::make_unique<frmMain>(AppOptions{})->refusedAsSecondInstance());
        first.reset();
        QVERIFY(!std::make_unique<frmMain>(AppOptions{})->refusedAsSecondInstance());
    }

    void exitAsksAndStatusClears()
    {
        MessageRecorder messages;
        auto w = openWindow();
        QVERIFY(w);
        messages.answers = {vbNo, vbCancel, vbYes};
        w->mnuExit->trigger();
        w->mnuExit->trigger();
        QVERIFY(w->isVisible());
        QCOMPARE(messages.shown[0].prompt + messages.shown[0].title, QString("Are you sure you want to exit the program?Exit Program"));
        QCOMPARE(messages.shown[0].style, 35);
        w->setPanelText(1, "first");
        w->RestartStatusTimer();
        QTest::qWait(1000);
        w->setPanelText(1, "second");
        w->RestartStatusTimer(); // restarted: two seconds from here
        QTest::qWait(1500);
        QCOMPARE(w->panelText(1), QString("second"));
        QTRY_COMPARE_WITH_TIMEOUT(w->panelText(1), QString(), 1500);
        w->mnuExit->trigger();
        QVERIFY(!w->isVisible());
    }

    void fonts_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("bold");
        for (const char* name : {"MSFlexGrid1", "Text1", "Panel1", "cmdProgramMeter"})
            QTest::newRow(name) << name << true;
        for (const char* name : {"cboSetPoints", "cboDecimal", "optCurrent"})
            QTest::newRow(name) << name << false;
    }
    void fonts()
    {
        QFETCH(QString, control);
        QFETCH(bool, bold);
        MessageRecorder messages;
        auto w = makeWindow();
        QCOMPARE(w->findChild<QWidget*>(control)->font().bold(), bold);
    }

    void refusalShowsTheCodeAsReceived_data()
    {
        QTest::addColumn<QChar>("code");
        QTest::newRow("digit") << QChar('3');
        QTest::newRow("not a digit") << QChar('X');
    }
    void refusalShowsTheCodeAsReceived()
    {
        QFETCH(QChar, code);
        MeterConfig config;
        config.refusals.insert("37P", code);
        auto sim = SimulatedMeter::start(config);
        QVERIFY(sim);
        PortMap ports;
        ports.map(1, sim->devicePath());
        MessageRecorder messages;
        auto w = makeWindow(ports);
        QTest::mouseClick(w->cmdProgramMeter, Qt::LeftButton);
        QCOMPARE(messages.prompts(), QStringList{"Error writing output option: \r\nMeter error code " + QString(code)});
    }

    void portRefusingItsSpeedEndsTheRun()
    {
        auto pty = std::make_unique<TestPty>();
        PortMap ports;
        ports.map(1, pty->path());
        MessageRecorder messages;
        auto w = makeWindow(ports);
        QVERIFY(w->selectListText(w->cboBaudRate, "9600"));
        // The device goes away while the new speed is being put in force: the run ends
        // there, with that failure, not with a later write to the lost port.
        const QString device = pty->path();
        connect(&w->MSComm1->port(), &QSerialPort::baudRateChanged, this, [&](qint32 baud) {
            if (baud == 9600)
                pty.reset();
        });
        QTest::mouseClick(w->cmdProgramMeter, Qt::LeftButton);
        QCOMPARE(messages.prompts(), QStringList{QString("PC Comm Port 1 (%1) cannot be used.\r\nReason: %2")
                                                     .arg(device, QString::fromLocal8Bit(std::strerror(EIO)))});
        QVERIFY(!w->MSComm1->portOpen());
        QVERIFY(w->cmdProgramMeter->isEnabled());
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
        QCOMPARE(viewed.size(), 1);
        const QString folder = runtime.filePath("talvo-linearizer");
        QCOMPARE(QFileInfo(viewed[0]).absolutePath(), folder);
        struct stat st {};
        QVERIFY(::lstat(QFile::encodeName(folder).constData(), &st) == 0 && (st.st_mode & 0777) == 0700);
        QVERIFY(::lstat(QFile::encodeName(viewed[0]).constData(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0);
        // A folder that is a link (planted by someone else) is not written through.
        QVERIFY(QDir(folder).removeRecursively() && QFile::link(runtime.filePath("other"), folder) && QDir().mkdir(runtime.filePath("other")));
        QTest::mouseClick(w->cmdExport, Qt::LeftButton);
        QCOMPARE(viewed.size(), 1);
        QVERIFY(messages.prompts().last().startsWith("The workbook could not be written"));
        QVERIFY(QDir(runtime.filePath("other")).isEmpty());
        Spreadsheet::setViewerHook({});
    }
};

QTEST_MAIN(TestWindowShell)
#include "test_window_shell.moc"
