// Settings files: Save Settings and Open Settings through the File menu of the real window,
// with the file dialogs and message boxes answered by the test.
#include <QDir>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "app/PickList.h"
#include "common/TestWindow.h"
#include "files/PlainFile.h"
#include "app/FlexGrid.h"
#include "cli/ProgramMode.h"

namespace {
QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
// decimal, address, port, baud, points, line 19, line 20
QByteArray settingsBytes(const QStringList& v, const QString& end = "\r\n")
{
    const QStringList lines = {"My Settings", "===========", "", "Decimal Point", v[0], "", "Meter Address", v[1], "",
                               "Comm Port", v[2], "", "Baud Rate", v[3], "", "# of Scale Points", v[4], "", v[5], v[6],
                               "===========", ""};
    return (lines.join(end) + end).toLatin1();
}
// The lists, the input type and the second point's input value.
QString state(const frmMain& w)
{
    const QString type = w.optVoltage->isChecked() ? "V" : w.optCurrent->isChecked() ? "I" : "P";
    return QStringList{w.cboDecimal->Text(), w.cboAddress->Text(), w.cboCommPort->Text(), w.cboBaudRate->Text(),
                       w.cboSetPoints->Text(), type, w.MSFlexGrid1->TextMatrix(1, 1)}.join('|');
}
const QStringList Sample = {"ddd.ddd", "033", "", "1200", "3", "True", "False"};
} // namespace

class TestSettingsFiles : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    // What is saved opens again as it was, for each input type; cancelled dialogs change nothing.
    void roundTrip()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = makeWindow();
        const QString start = state(*w);
        w->mnuSave->trigger();
        w->mnuOpen->trigger();
        QCOMPARE(state(*w), start);
        w->cboCommPort->AddItem("7");
        for (QRadioButton* option : {w->optVoltage, w->optCurrent, w->optPulse}) {
            QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
            QVERIFY(w->selectListText(w->cboAddress, "123") && w->selectListText(w->cboCommPort, "7"));
            QVERIFY(w->selectListText(w->cboBaudRate, "9600") && w->selectListText(w->cboSetPoints, "5"));
            const QString saved = state(*w), file = m_dir.filePath(option->objectName() + ".txt");
            dialogs.paths << file << file;
            w->mnuSave->trigger();
            const QString v = option == w->optVoltage ? "True" : "False", i = option == w->optCurrent ? "True" : "False";
            QCOMPARE(readAll(file), settingsBytes({w->cboDecimal->Text(), "123", "7", "9600", "5", v, i}));
            QVERIFY(w->selectListText(w->cboAddress, "200") && w->selectListText(w->cboSetPoints, "9"));
            w->mnuOpen->trigger();
            QCOMPARE(state(*w), saved);
            QCOMPARE(w->panelText(1), "File: - [" + file + "]");
            QVERIFY(w->tmrStatusBarText.isActive());
        }
        QCOMPARE(dialogs.filters.last(), QString("Text (*.txt)|*.txt|All Files (*.*)|*.*"));
        QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.prompts().join('\n')));
    }

    // A file saved from one window reopens in a fresh one exactly as saved (type, format, count
    // and points; point 3 stays empty), and `program --settings` reads the same setup.
    void reopensAsSavedInWindowAndProgram_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("format");
        for (int type : {0, 1, 2})
            for (const char* format : {"dddddd", "dddd.dd", "d.ddddd"})
                QTest::addRow("%s %s", type == 0 ? "Voltage" : type == 1 ? "Current" : "Pulse", format) << type << QString(format);
    }
    void reopensAsSavedInWindowAndProgram()
    {
        QFETCH(int, type);
        QFETCH(QString, format);
        MessageRecorder messages;
        DialogRecorder dialogs;
        const QString file = m_dir.filePath(QString("reopen%1%2.txt").arg(type).arg(format));
        dialogs.paths << file << file;
        auto saving = makeWindow();
        QRadioButton* option = QList<QRadioButton*>{saving->optVoltage, saving->optCurrent, saving->optPulse}[type];
        QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
        QVERIFY(saving->selectListText(saving->cboDecimal, format) && saving->selectListText(saving->cboSetPoints, "3"));
        saving->mnuSave->trigger();
        auto opening = makeWindow();
        opening->mnuOpen->trigger();
        const PointTable saved = saving->pointTable();
        QVERIFY(saved.format == format && saved.rows[2] == PointRow());
        const std::optional<MeterSetup> read = ProgramMode::openedSettings(file);
        QVERIFY(read);
        for (const PointTable& opened : {opening->pointTable(), read->table})
            QVERIFY(opened.type == saved.type && opened.format == format && opened.rows == saved.rows);
        QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.prompts().join('\n')));
    }

    // Opening applies line by line up to where reading stops; unfit files change nothing.
    void opening_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // "" : the path names a folder
        QTest::addColumn<QString>("expected"); // the window afterwards
        QTest::addColumn<QString>("message");  // part of the message, "" for none
        const QString before = "ddd.ddd|001||2400|2|I|20.000", sample = "ddd.ddd|033||1200|3|V|10.000";
        QByteArray other = settingsBytes(Sample, "\n").replace("Decimal Point", "DECIMAL point").replace("===", "---");
        QTest::newRow("LF, other words") << other << sample << "";
        QTest::newRow("Pulse, the file's format") << settingsBytes({"d.ddddd", "033", "", "1200", "3", " false ", "0"})
                                                  << "d.ddddd|033||1200|3|P|10000.0" << "";
        QTest::newRow("new address, numbers, line 23")
            << settingsBytes({"ddd.ddd", "250", "", "1200", "3", "0", "-1"}) + "more\r\n" << "ddd.ddd|250||1200|3|I|20.000" << "";
        QTest::newRow("21 lines") << settingsBytes(Sample).chopped(2) << sample << "line 22";
        QTest::newRow("bad truth") << settingsBytes({"dd.dddd", "033", "", "1200", "3", "False", "maybe"})
                                   << "dd.dddd|033||1200|3|I|20.000" << "line 20";
        QTest::newRow("too large") << settingsBytes(Sample) + QByteArray(8192, ' ') << before << "large";
        QTest::newRow("binary") << settingsBytes(Sample).replace("033", "0\x01" "3") << before << "binary";
        QTest::newRow("folder") << QByteArray() << before << "could not be opened";
    }
    void opening()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QFETCH(QString, message);
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = makeWindow();
        QFile file(bytes.isEmpty() ? m_dir.path() : m_dir.filePath("open.txt"));
        QVERIFY(bytes.isEmpty() || (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()));
        file.close();
        dialogs.paths << file.fileName() << file.fileName(); // twice: nothing is added twice
        w->mnuOpen->trigger();
        const int addresses = w->cboAddress->ListCount();
        w->mnuOpen->trigger();
        QCOMPARE(state(*w), expected);
        QCOMPARE(w->cboAddress->ListCount(), addresses);
        QCOMPARE(messages.shown.size(), message.isEmpty() ? 0 : 2);
        if (!message.isEmpty())
            QVERIFY2(messages.shown[0].prompt.contains(message) && messages.shown[0].prompt.contains(file.fileName()),
                     qPrintable(messages.shown[0].prompt));
        QCOMPARE(w->panelText(1), message.isEmpty() ? "File: - [" + file.fileName() + "]" : QString());
    }

    // A save that fails (the disk is full) leaves the old file, and no temporary file.
    void failedSaves()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = makeWindow();
        QFile old(m_dir.filePath("kept.txt"));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old\r\n") == 5);
        old.close();
        dialogs.paths << old.fileName();
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit full{16, saved.rlim_max}; // writes fail beyond 16 bytes, whoever runs the test
        setrlimit(RLIMIT_FSIZE, &full);
        w->mnuSave->trigger();
        setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(messages.shown.size(), 1);
        QVERIFY(messages.shown[0].prompt.contains(old.fileName()));
        QCOMPARE(readAll(old.fileName()), QByteArray("old\r\n"));
        QCOMPARE(QDir(m_dir.path()).entryList({"kept*", ".kept*"}, QDir::Files | QDir::Hidden), QStringList{"kept.txt"});
        // A FIFO in the file's place is refused, not replaced by a new file.
        const QString fifo = m_dir.filePath("fifo.txt");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        dialogs.paths << fifo;
        w->mnuSave->trigger();
        QVERIFY2(messages.shown.size() == 2 && messages.shown[1].prompt.contains(fifo + " is a FIFO, not a plain file"), qPrintable(messages.prompts().join("|")));
        QVERIFY(QFileInfo::exists(fifo) && !QFileInfo(fifo).isFile());
    }

    // Files are read only when plain, never blocking, never past the limit, until cancelled.
    void plainFiles_data()
    {
        QTest::addColumn<QString>("path"); // $DIR: a folder holding "ten" (10 bytes) and "fifo"
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("error"); // "" : the whole file is read
        QTest::newRow("plain") << "$DIR/ten" << qint64(10) << false << "";
        QTest::newRow("one byte over") << "$DIR/ten" << qint64(9) << false << "$DIR/ten is larger than 9 bytes";
        QTest::newRow("FIFO") << "$DIR/fifo" << qint64(10) << false << "$DIR/fifo is a FIFO, not a plain file";
        QTest::newRow("endless device") << "/dev/zero" << qint64(10) << false << "/dev/zero is a device, not a plain file";
        QTest::newRow("folder") << "$DIR" << qint64(10) << false << "$DIR is a folder, not a plain file";
        QTest::newRow("missing") << "$DIR/none" << qint64(10) << false << "$DIR/none: No such file or directory";
        QTest::newRow("cancelled") << "$DIR/ten" << qint64(10) << true << "$DIR/ten: reading was cancelled";
    }
    void plainFiles()
    {
        QFETCH(QString, path);
        QFETCH(qint64, limit);
        QFETCH(bool, cancel);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QFile ten(dir.filePath("ten"));
        QVERIFY(ten.open(QIODevice::WriteOnly) && ten.write("0123456789") == 10 && ::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600) == 0);
        ten.close();
        path.replace("$DIR", dir.path());
        error.replace("$DIR", dir.path());
        const std::atomic_bool cancelled{cancel};
        const PlainFile::Contents read = PlainFile::read(path, limit, &cancelled);
        QCOMPARE(read.error, error);
        QCOMPARE(read.bytes, QByteArray(error.isEmpty() ? "0123456789" : ""));
        QCOMPARE(read.tooLarge, error.contains("larger"));
        QCOMPARE(PlainFile::writeRefusal(path), error.contains("plain file") ? error : QString());
    }
};

QTEST_MAIN(TestSettingsFiles)
#include "test_settings_files.moc"
