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
        QVERIFY(holdsVersion("\x02" "A0001 01.100\x03") && !holdsVersion("\x02" "A0001 1.100\x03") && !holdsVersion("\x01" "001F18918\x03"));
        QVERIFY(firmwareVersion("\x02" "A0001 01.099\x03") == 1099 && firmwareVersion("\x02" "A0247 V12.005b\x03") == 12005);
        QCOMPARE(namedAddress("x\x02" "A0012 01.100\x03"), QString("012"));
        QCOMPARE(namedAddress("\x02Z3247\x03"), QString("247"));
        QCOMPARE(namedAddress("\x02OK 01.100\x03"), QString());
        QCOMPARE(namedAddress("\x02" "A0300\x03"), QString()); // no address 001..247
        QCOMPARE(printable("01.100\x1b[2J\r"), QString("01.100<1b>[2J<0d>"));
    }

    // What a meter's reply is, once its firmware reply has shown how it frames replies.
    void framing_data()
    {
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<QString>("received");
        QTest::addColumn<QString>("reply"); // "-": none yet
        const QString fw = "\x02" "A0001 01.100\x03", ack = "\x02" "A0001\x03";
        QTest::newRow("acknowledged") << fw << ack << ack;
        QTest::newRow("noise before") << fw << "x\x7f\x02Z3001\x03" << "\x02Z3001\x03";
        QTest::newRow("stray ETX") << fw << "\x03" << "-";
        QTest::newRow("stray ETX, then the reply") << fw << "\x03" + ack << ack;
        QTest::newRow("boot text") << fw << "\r\nTalvo Series 01.100\r\n\x03" << "-";
        QTest::newRow("another meter's") << fw << "\x02" "A0007\x03" << "-";
        QTest::newRow("another meter's refusal, then ours") << fw << "\x02Z3007\x03" + ack << ack;
        QTest::newRow("no success mark") << fw << "\x02OK\x03" << "-";
        QTest::newRow("our echo") << fw << "\x01" "001F18918\x03" << "-";
        QTest::newRow("printable payload") << fw << "\x02" "A0001 ok\x03" << "\x02" "A0001 ok\x03";
        QTest::newRow("no start character: same shape") << "A0001 01.100\x03" << "x\x03" "A0001\x03" << "A0001\x03";
        QTest::newRow("no start character: noise before") << "A0001 01.100\x03" << "xA0001\x03" << "-";
        QTest::newRow("SOH: another's, then our refusal") << "\x01" "A0001 01.100\x03" << "\x03\x01" "A0007\x03\x01Z2001\x03"
                                                          << "\x01Z2001\x03";
    }
    void framing()
    {
        QFETCH(QString, firmware);
        QFETCH(QString, received);
        QFETCH(QString, reply);
        const ReplyFraming framing = ReplyFraming::learnedFrom(firmware, "001");
        const ReplyFraming::Span span = framing.find(received);
        QCOMPARE(span.end < 0 ? QString("-") : received.mid(span.begin, span.end - span.begin), reply);
    }

    // One bit flipped anywhere on the line never makes an acknowledgement, whatever the meter's
    // start character: not of our echo, a refusal or an acknowledgement.
    void flippedBits()
    {
        for (const QString start : {"\x02", "\x01", ""})
            for (const QString address : {"001", "010", "247"}) {
                const ReplyFraming framing = ReplyFraming::learnedFrom(start + "A0" + address + " 01.100\x03", address);
                const QString ack = start + "A0" + address + "\x03", refusal = start + "Z2" + address + "\x03";
                QStringList clean{ack, refusal};
                for (const char* command : {"38001", "2A2010000", "2A0011000", "2A30220000", "37P3", "48L32", "33V"})
                    clean << BuildMeterFrame(address, command, ComputeChecksum(command));
                QCOMPARE(framing.find(ack).end, ack.size());
                for (const QString& sent : clean)
                    for (int at = 0, bit = 0; at < sent.size(); bit = (bit + 1) % 8, at += bit == 0) {
                        QString damaged = sent;
                        damaged[at] = QChar(damaged[at].unicode() ^ (1 << bit));
                        const ReplyFraming::Span span = framing.find(damaged);
                        // A refusal whose code is hit is still a refusal; nothing else is a reply.
                        QVERIFY2(span.end < 0 || (sent == refusal && at == start.size() + 1 && damaged[span.begin + start.size()] == 'Z'),
                                 qPrintable(start + printable(damaged)));
                    }
            }
    }
};

QTEST_APPLESS_MAIN(TestMeterFrame)
#include "test_meter_frame.moc"
