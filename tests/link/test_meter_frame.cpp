// Frame, checksum, command texts and reply reading, without a window or a port.
#include <QtTest>

#include "link/MeterLink.h"

using namespace MeterLink;

class TestMeterFrame : public QObject {
    Q_OBJECT
private slots:
    void checksum_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected");
        QTest::newRow("37P3") << "37P3" << "13";
        QTest::newRow("38001 padded") << "38001" << "04";
        QTest::newRow("F189") << "F189" << "18";
        QTest::newRow("48L02 uppercase") << "48L02" << "E6";
        QTest::newRow("empty") << "" << "00";
        QTest::newRow("sum 256") << "@@@@" << "00"; // multiple of 256: "00", not "100"
        QTest::newRow("sum 512") << "@@@@@@@@" << "00";
        QTest::newRow("sum 255") << "@@@?" << "01";
        QTest::newRow("point value") << "2A2014000" << "36";
        QTest::newRow("33I") << "33I" << "51";
    }
    void checksum()
    {
        QFETCH(QString, command);
        QFETCH(QString, expected);
        const QString before = command;
        QCOMPARE(ComputeChecksum(command), expected);
        QCOMPARE(command, before);
        // The sum plus the checksum value is a multiple of 256.
        unsigned sum = 0;
        for (QChar c : command)
            sum += c.unicode();
        QCOMPARE((sum + ComputeChecksum(command).toUInt(nullptr, 16)) % 256, 0u);
    }

    void frameBytes()
    {
        const QByteArray frame = BuildMeterFrame("001", "37P3", ComputeChecksum("37P3")).toLatin1();
        QCOMPARE(frame, QByteArray::fromHex("0130303133375033313303"));
        // Same command, another address: same checksum.
        const QString other = BuildMeterFrame("247", "37P3", ComputeChecksum("37P3"));
        QCOMPARE(other, QString("\x01" "24737P313\x03"));
        // An empty address gives no address digits.
        QCOMPARE(BuildMeterFrame("", "F189", "18"), QString("\x01" "F18918\x03"));
    }

    void addressTexts()
    {
        QCOMPARE(addressText("001"), std::optional<QString>("001"));
        QCOMPARE(addressCommand("001"), std::optional<QString>("38001"));
        QCOMPARE(addressCommand("247"), std::optional<QString>("38247"));
        for (const char* bad : {"", "000", "248", "1", "01", "0001", "abc", " 01", "-01"})
            QVERIFY2(!addressCommand(bad) && !addressText(bad), bad);
    }

    void decimalCommands()
    {
        const QStringList formats = {"dddddd", "ddddd.d", "dddd.dd", "ddd.ddd", "dd.dddd", "d.ddddd"};
        for (int i = 0; i < formats.size(); ++i)
            QCOMPARE(decimalCommand(formats[i]), std::optional<QString>(QString("37P%1").arg(i)));
        QVERIFY(!decimalCommand(""));
        QVERIFY(!decimalCommand("DDD.DDD"));
        QVERIFY(!decimalCommand("ddd.dd"));
    }

    void pointsCommands()
    {
        QCOMPARE(pointsCommand("2"), std::optional<QString>("48L02"));
        QCOMPARE(pointsCommand("9"), std::optional<QString>("48L09"));
        QCOMPARE(pointsCommand("10"), std::optional<QString>("48L10"));
        QCOMPARE(pointsCommand("32"), std::optional<QString>("48L32"));
        for (const char* bad : {"", "0", "1", "33", "02", " 2", "2.0"})
            QVERIFY2(!pointsCommand(bad), bad);
    }

    void baudRates()
    {
        QCOMPARE(settingsFor("9600"), QString("9600,N,8,1"));
        for (const char* b : {"300", "600", "1200", "2400", "4800", "9600", "19200"})
            QVERIFY(isListedBaud(b));
        for (const char* b : {"", "110", "38400", "9600 ", "09600"})
            QVERIFY(!isListedBaud(b));
    }

    void replies()
    {
        QVERIFY(replyComplete(QString(QChar(ETX))));
        QVERIFY(!replyComplete("\x02" "A0001"));
        QVERIFY(isErrorReply("\x02Z4001\x03"));
        QVERIFY(isErrorReply("\x02" "A0001\x03Z")); // "Z" after the ETX still counts
        QVERIFY(!isErrorReply("\x02" "A0001\x03z"));
        QCOMPARE(errorCode("\x02Z4001\x03"), QChar('4'));
        QVERIFY(errorCode("\x03Z").isNull());
    }

    void errorTexts()
    {
        // Every digit has a text of its own; unknown codes show the code itself.
        QSet<QString> seen;
        for (char d = '0'; d <= '9'; ++d) {
            const QString t = errorText(QChar(d));
            QVERIFY(!t.isEmpty());
            QVERIFY(!seen.contains(t));
            seen.insert(t);
        }
        QCOMPARE(ReplyErrorTexts().size(), 10);
        QCOMPARE(errorText('X'), QString("X"));
        QCOMPARE(errorReplyMessage("\x02Z2001\x03"), QString("Error writing output option: \r\n") + errorText('2'));
        QCOMPARE(errorReplyMessage("\x02ZQ001\x03"), QString("Error writing output option: \r\nQ"));
        QVERIFY(errorReplyMessage("Z").startsWith("Error writing output option: \r\n"));
    }
};

QTEST_APPLESS_MAIN(TestMeterFrame)
#include "test_meter_frame.moc"
