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
        QTest::newRow("empty") << "" << "00";
        QTest::newRow("sum 256 gives 00, not 100") << "@@@@" << "00";
        QTest::newRow("sum 255") << "@@@?" << "01";
    }
    void checksum()
    {
        QFETCH(QString, command);
        QFETCH(QString, expected);
        QCOMPARE(ComputeChecksum(command), expected);
    }

    void frameBytes()
    {
        QCOMPARE(BuildMeterFrame("001", "37P3", ComputeChecksum("37P3")).toLatin1(),
                 QByteArray::fromHex("0130303133375033313303"));
    }

    // Command texts from selection texts; anything outside the lists gives none.
    void commands_data()
    {
        QTest::addColumn<int>("kind"); // 0 address, 1 decimal point, 2 number of points
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("expected"); // "" for none
        QTest::newRow("address 001") << 0 << "001" << "38001";
        QTest::newRow("address 247") << 0 << "247" << "38247";
        for (const char* bad : {"", "000", "248", "01", "0001", " 01", "-01"})
            QTest::newRow(qPrintable(QString("address '%1'").arg(bad))) << 0 << bad << "";
        QTest::newRow("dddddd") << 1 << "dddddd" << "37P0";
        QTest::newRow("d.ddddd") << 1 << "d.ddddd" << "37P5";
        QTest::newRow("upper case") << 1 << "DDD.DDD" << "";
        QTest::newRow("2 points") << 2 << "2" << "48L02";
        QTest::newRow("32 points") << 2 << "32" << "48L32";
        for (const char* bad : {"", "1", "33", "02", "2.0"})
            QTest::newRow(qPrintable(QString("points '%1'").arg(bad))) << 2 << bad << "";
    }
    void commands()
    {
        QFETCH(int, kind);
        QFETCH(QString, selection);
        QFETCH(QString, expected);
        const auto c = kind == 0 ? addressCommand(selection) : kind == 1 ? decimalCommand(selection) : pointsCommand(selection);
        QCOMPARE(c.value_or(QString()), expected);
        if (kind == 0)
            QCOMPARE(addressText(selection).has_value(), !expected.isEmpty());
    }

    void baudRates()
    {
        QCOMPARE(settingsFor("9600"), QString("9600,N,8,1"));
        QVERIFY(isListedBaud("300") && isListedBaud("19200"));
        for (const char* b : {"", "110", "38400", "9600 ", "09600"})
            QVERIFY2(!isListedBaud(b), b);
    }

    void replies()
    {
        QVERIFY(replyComplete(QString(QChar(ETX))));
        QVERIFY(!replyComplete("\x02" "A0001"));
        QVERIFY(isErrorReply("\x02" "A0001\x03Z")); // "Z" after the ETX still counts
        QVERIFY(!isErrorReply("\x02" "A0001\x03z"));
        QCOMPARE(errorCode("\x02Z4001\x03"), QChar('4'));
        QVERIFY(errorCode("\x03Z").isNull());
        QCOMPARE(errorReplyMessage("\x02Z2001\x03"), QString("Error writing output option: \r\n") + errorText('2'));
        QCOMPARE(errorReplyMessage("\x02ZQ001\x03"), QString("Error writing output option: \r\nQ"));
        QVERIFY(errorText('0') != errorText('9'));
    }
};

QTEST_APPLESS_MAIN(TestMeterFrame)
#include "test_meter_frame.moc"
