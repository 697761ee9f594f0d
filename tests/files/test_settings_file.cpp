// The settings file format without a window: composing, atomic saving, line splitting,
// truth values and the guarded line-by-line reader.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

#include "files/FileFaults.h"
#include "files/SettingsFile.h"

namespace {
SettingsValues sample()
{
    SettingsValues v;
    v.decimal = QStringLiteral("dd.dddd");
    v.address = QStringLiteral("017");
    v.commPort = QStringLiteral("3");
    v.baudRate = QStringLiteral("19200");
    v.setPoints = QStringLiteral("12");
    v.voltage = true;
    return v;
}

const QByteArray SampleBytes = "My Settings\r\n===========\r\n\r\nDecimal Point\r\ndd.dddd\r\n\r\nMeter Address\r\n017\r\n"
                               "\r\nComm Port\r\n3\r\n\r\nBaud Rate\r\n19200\r\n\r\n# of Scale Points\r\n12\r\n\r\n"
                               "True\r\nFalse\r\n===========\r\n\r\n";
} // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT
private slots:
    void composeWritesTheTwentyTwoLines()
    {
        QCOMPARE(SettingsFile::Compose(sample()), SampleBytes);
        QCOMPARE(SampleBytes.count("\r\n"), 22);

        SettingsValues pulse; // every list empty, neither Voltage nor Current
        const QByteArray bytes = SettingsFile::Compose(pulse);
        const QList<QByteArray> lines = bytes.split('\n');
        QCOMPARE(lines.size(), 23); // 22 line ends
        QCOMPARE(lines[4], QByteArray("\r"));
        QCOMPARE(lines[18], QByteArray("False\r"));
        QCOMPARE(lines[19], QByteArray("False\r"));
        QVERIFY(bytes.endsWith("===========\r\n\r\n"));

        SettingsValues current;
        current.current = true;
        QCOMPARE(SettingsFile::Compose(current).split('\n')[19], QByteArray("True\r"));
    }

    void splitLinesAcceptsEveryLineEnd()
    {
        using SettingsFile::SplitLines;
        QCOMPARE(SplitLines(""), QStringList());
        QCOMPARE(SplitLines("\r\n"), QStringList{QString()});
        QCOMPARE(SplitLines("a\r\nb\r\n"), (QStringList{"a", "b"}));
        QCOMPARE(SplitLines("a\nb\n"), (QStringList{"a", "b"}));
        QCOMPARE(SplitLines("a\rb\r"), (QStringList{"a", "b"}));
        QCOMPARE(SplitLines("a\n\r\nb"), (QStringList{"a", "", "b"}));
        QCOMPARE(SplitLines("a\r\n\r\n"), (QStringList{"a", ""}));
        QCOMPARE(SplitLines(" 1 \t\r\n"), QStringList{" 1 \t"});
        QCOMPARE(SplitLines("caf\xc3\xa9\n"), QStringList{QString::fromUtf8("caf\xc3\xa9")});
        QCOMPARE(SplitLines("caf\xe9\n"), QStringList{QString::fromLatin1("caf\xe9")});
        QCOMPARE(SplitLines(SampleBytes).size(), 22);
    }

    void truthValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // 1 true, 0 false, -1 not a truth value
        const QList<std::pair<const char*, int>> cases = {
            {"True", 1}, {"False", 0}, {"TRUE", 1}, {"false", 0}, {"tRuE", 1}, {" True\t", 1},
            {"1", 1}, {"0", 0}, {"-1", 1}, {"+0", 0}, {"0.0", 0}, {"000", 0}, {"2.5", 1}, {".5", 1},
            {"5.", 1}, {"0.001", 1}, {"1e3", 1}, {"0E+7", 0}, {"-0.0e-2", 0},
            {"", -1}, {"  ", -1}, {"yes", -1}, {"Tru", -1}, {"True1", -1}, {"1x", -1}, {".", -1},
            {"+", -1}, {"1e", -1}, {"e5", -1}, {"1.2.3", -1}, {"--1", -1}, {"1 0", -1}, {"0x1", -1},
        };
        for (const auto& [text, expected] : cases)
            QTest::newRow(*text ? text : "(empty)") << QString::fromLatin1(text) << expected;
    }
    void truthValues()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        const std::optional<bool> value = SettingsFile::ParseTruth(text);
        QCOMPARE(value.has_value() ? int(*value) : -1, expected);
    }

    void binaryContentIsRecognised()
    {
        using SettingsFile::LooksBinary;
        QVERIFY(!LooksBinary(SampleBytes));
        QVERIFY(!LooksBinary("tab\there\r\n\xef\xbb\xbf caf\xe9"));
        QVERIFY(LooksBinary(QByteArray("a\0b", 3)));
        QVERIFY(LooksBinary("a\x01"));
        QVERIFY(LooksBinary("\x1b[0m"));
        QVERIFY(LooksBinary("a\x7f"));
    }

    void saveCreatesAndReplaces()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("settings.txt"));
        QString why;
        QVERIFY(SettingsFile::Save(path, sample(), &why));
        QCOMPARE(readAll(path), SampleBytes);

        SettingsValues second = sample();
        second.address = QStringLiteral("247");
        second.voltage = false;
        QVERIFY(SettingsFile::Save(path, second, &why));
        const QByteArray bytes = readAll(path);
        QCOMPARE(bytes, SettingsFile::Compose(second));
        QCOMPARE(bytes.count("\r\n"), 22);
        // No extension is added and no temporary file stays behind.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"settings.txt"});

        const QString noExtension = dir.filePath(QStringLiteral("plain"));
        QVERIFY(SettingsFile::Save(noExtension, sample(), &why));
        QVERIFY(QFile::exists(noExtension));
    }

    void failedSaveKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("settings.txt"));
        writeBytes(path, "old settings\r\n");
        QString why;
        bool saved = true;
        {
            const WriteLimit limit(32); // the new file cannot be written in full
            saved = SettingsFile::Save(path, sample(), &why);
        }
        QVERIFY(!saved);
        QVERIFY2(why.contains("large"), qPrintable(why));
        QVERIFY(!why.isEmpty());
        QCOMPARE(readAll(path), QByteArray("old settings\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"settings.txt"});

        why.clear();
        QVERIFY(!SettingsFile::Save(dir.filePath(QStringLiteral("missing/settings.txt")), sample(), &why));
        QVERIFY(!why.isEmpty());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing"))));
    }

    void readOnlyTargetsAreNotReplaced()
    {
        if (geteuid() == 0)
            QSKIP("permissions do not bind the superuser");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("settings.txt"));
        writeBytes(path, "old settings\r\n");
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        QString why;
        const bool saved = SettingsFile::Save(path, sample(), &why);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!saved);
        QVERIFY(!why.isEmpty());
        QCOMPARE(readAll(path), QByteArray("old settings\r\n"));

        // A read-only file in a writable folder is not replaced either.
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        why.clear();
        QVERIFY(!SettingsFile::Save(path, sample(), &why));
        QVERIFY(!why.isEmpty());
        QCOMPARE(readAll(path), QByteArray("old settings\r\n"));
    }

    void readerReadsForwardLineByLine()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.txt"));
        writeBytes(path, QByteArray(SampleBytes).replace("\r\n", "\n"));
        SettingsReader reader;
        QVERIFY(reader.open(path));
        QCOMPARE(reader.readLine(SettingsFile::DecimalLine), QString("dd.dddd"));
        QCOMPARE(reader.readLine(SettingsFile::AddressLine), QString("017"));
        QCOMPARE(reader.readLine(SettingsFile::CommPortLine), QString("3"));
        QCOMPARE(reader.readLine(SettingsFile::BaudRateLine), QString("19200"));
        QCOMPARE(reader.readLine(SettingsFile::SetPointsLine), QString("12"));
        QCOMPARE(reader.readTruth(SettingsFile::VoltageLine), std::optional<bool>(true));
        QCOMPARE(reader.readTruth(SettingsFile::CurrentLine), std::optional<bool>(false));
        QCOMPARE(reader.readLine(SettingsFile::LineCount), QString());
        QVERIFY(!reader.failed());
        QCOMPARE(reader.stopLine(), 0);
        // Lines already passed are not read again.
        QVERIFY(!reader.readLine(SettingsFile::AddressLine));
    }

    void readerStopsAtTheFailingLine()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.txt"));
        QList<QByteArray> lines = SampleBytes.split('\n');
        lines.removeLast();

        // 21 lines: everything up to line 21 reads, line 22 is missing.
        writeBytes(path, lines.mid(0, 21).join('\n') + '\n');
        SettingsReader reader;
        QVERIFY(reader.open(path));
        QCOMPARE(reader.readTruth(SettingsFile::CurrentLine), std::optional<bool>(false));
        QVERIFY(!reader.readLine(SettingsFile::LineCount));
        QVERIFY(reader.failed());
        QCOMPARE(reader.stopLine(), 22);
        QVERIFY(reader.errorText().contains("21"));
        QVERIFY(!reader.readLine(SettingsFile::LineCount + 1));

        // 9 lines: asking for line 11 stops at line 10, the first one missing.
        writeBytes(path, lines.mid(0, 9).join('\n') + '\n');
        QVERIFY(reader.open(path));
        QCOMPARE(reader.readLine(SettingsFile::AddressLine), QString("017"));
        QVERIFY(!reader.readLine(SettingsFile::CommPortLine));
        QCOMPARE(reader.stopLine(), 10);

        // An empty file stops at line 1.
        writeBytes(path, "");
        QVERIFY(reader.open(path));
        QVERIFY(!reader.readLine(SettingsFile::DecimalLine));
        QCOMPARE(reader.stopLine(), 1);

        // A bad truth value stops at its own line; later lines are not read.
        lines[19] = "maybe\r";
        writeBytes(path, lines.join('\n') + '\n');
        QVERIFY(reader.open(path));
        QCOMPARE(reader.readTruth(SettingsFile::VoltageLine), std::optional<bool>(true));
        QVERIFY(!reader.readTruth(SettingsFile::CurrentLine));
        QCOMPARE(reader.stopLine(), 20);
        QVERIFY(reader.errorText().contains("\"maybe\""));
        QVERIFY(!reader.readLine(SettingsFile::LineCount));
        QCOMPARE(reader.stopLine(), 20);
    }

    void readerRefusesWhatIsNoSettingsFile()
    {
        QTemporaryDir dir;
        SettingsReader reader;

        QVERIFY(!reader.open(dir.filePath(QStringLiteral("absent.txt"))));
        QCOMPARE(reader.stopLine(), 0);
        QVERIFY(!reader.errorText().isEmpty());
        QVERIFY(!reader.readLine(1));

        QVERIFY(!reader.open(dir.path()));
        QVERIFY(!reader.errorText().isEmpty());

        const QString big = dir.filePath(QStringLiteral("big.txt"));
        writeBytes(big, SampleBytes + QByteArray(SettingsFile::MaxFileSize, 'x'));
        QVERIFY(!reader.open(big));
        QVERIFY(reader.errorText().contains("large"));
        QVERIFY(!reader.readLine(SettingsFile::DecimalLine));

        const QString exact = dir.filePath(QStringLiteral("exact.txt"));
        writeBytes(exact, SampleBytes + QByteArray(SettingsFile::MaxFileSize - SampleBytes.size(), 'x'));
        QVERIFY(reader.open(exact));

        const QString binary = dir.filePath(QStringLiteral("binary.txt"));
        writeBytes(binary, QByteArray(SampleBytes).replace("017", QByteArray("0\0" "7", 3)));
        QVERIFY(!reader.open(binary));
        QVERIFY(reader.errorText().contains("binary"));
        QVERIFY(!reader.readLine(SettingsFile::DecimalLine));

        // A pipe with no writer would block an ordinary open; it is refused at once.
        const QString fifo = dir.filePath(QStringLiteral("pipe.txt"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!reader.open(fifo));
        QVERIFY(!reader.open(QStringLiteral("/dev/zero")));
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settings_file.moc"
