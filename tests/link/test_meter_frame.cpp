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
        QTest::newRow("padded") << "38001" << "04";
        QTest::newRow("uppercase hex") << "48L02" << "E6";
        QTest::newRow("sum 256 gives 00, not 100") << "@@@@" << "00";
        QTest::newRow("sum 255") << "@@@?" << "01";
    }
    void checksum()
    {
        QFETCH(QString, command);
        QFETCH(QString, expected);
        QCOMPARE(ComputeChecksum(command), expected);
    }

    void commands()
    {
        QCOMPARE(addressCommand("001"), std::optional<QString>("38001"));
        QCOMPARE(addressText("247"), std::optional<QString>("247"));
        QCOMPARE(decimalCommand("d.ddddd"), std::optional<QString>("37P5"));
        QCOMPARE(pointsCommand("9"), std::optional<QString>("48L09"));
        for (const char* bad : {"", "000", "248", "01", " 01", "-01"})
            QVERIFY2(!addressCommand(bad) && !addressText(bad), bad);
        QVERIFY(!decimalCommand("DDD.DDD"));
        for (const char* bad : {"", "1", "33", "02", "2.0"})
            QVERIFY2(!pointsCommand(bad), bad);
    }

    void replies()
    {
        QVERIFY(replyComplete(QString(QChar(ETX))));
        QVERIFY(!replyComplete("\x02" "A0001"));
        QVERIFY(isErrorReply("\x02" "A0001\x03Z")); // "Z" after the ETX still counts
        QVERIFY(!isErrorReply("\x02" "A0001\x03z"));
        QCOMPARE(errorCode("\x02Z4001\x03"), QChar('4'));
        QVERIFY(errorCode("\x03Z").isNull());
        QCOMPARE(errorReplyMessage("\x02Z2001\x03"), QString("Error writing output option: \r\nMeter error code 2"));
        QCOMPARE(errorReplyMessage("\x02ZQ001\x03"), QString("Error writing output option: \r\nMeter error code Q"));
    }
};

QTEST_APPLESS_MAIN(TestMeterFrame)
#include "test_meter_frame.moc"
