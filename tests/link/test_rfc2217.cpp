// The RFC 2217 codec without a socket: IAC doubling both ways (also split between reads), the
// option negotiation a ser2net greeting starts, the line settings and their acknowledgements.
#include <QTest>

#include "link/Rfc2217Codec.h"

namespace {
QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (const int b : list)
        out += char(b);
    return out;
}
constexpr int IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254, ComPort = 44;
// The server's acknowledgement of 19200 baud, 8 data bits, no parity, 1 stop bit.
const QByteArray Acks = bytes({IAC, SB, ComPort, 101, 0, 0, 0x4B, 0, IAC, SE, IAC, SB, ComPort, 102, 8, IAC, SE, IAC, SB, ComPort, 103, 1,
                               IAC, SE, IAC, SB, ComPort, 104, 1, IAC, SE});
} // namespace

class TestRfc2217 : public QObject {
    Q_OBJECT
private slots:
    void dataBytes_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("frame") << QByteArray("\x01" "001F18964\x03");
        QTest::newRow("0xFF alone") << bytes({0xFF});
        QTest::newRow("0xFF in runs, at both ends") << bytes({0xFF, 1, 0xFF, 0xFF, 0xFF, 3, 0xFF});
    }
    void dataBytes()
    {
        QFETCH(QByteArray, data);
        const QByteArray wire = Rfc2217Codec::escape(data);
        QCOMPARE(wire.size(), data.size() + data.count(char(0xFF)));
        // Every split of the wire bytes between two reads gives the data back.
        for (int cut = 0; cut <= wire.size(); ++cut) {
            Rfc2217Codec codec;
            const QByteArray first = codec.feed(wire.left(cut));
            QCOMPARE(first + codec.feed(wire.mid(cut)), data);
            QVERIFY(codec.takeOutgoing().isEmpty());
        }
    }

    void negotiation_data()
    {
        QTest::addColumn<QByteArray>("server"); // after start() and requestLine(19200)
        QTest::addColumn<QByteArray>("answer");  // what goes back after the four settings' commands
        QTest::addColumn<bool>("settled");
        QTest::addColumn<QByteArray>("data");
        const QByteArray greeting = bytes({IAC, WILL, 3, IAC, DO, 3, IAC, WILL, 1, IAC, DONT, 1, IAC, DO, 0, IAC, WILL, 0, IAC, DO, ComPort});
        const QByteArray line = bytes({IAC, SB, ComPort, 1, 0, 0, 0x4B, 0, IAC, SE, IAC, SB, ComPort, 2, 8, IAC, SE, IAC, SB, ComPort, 3, 1,
                                       IAC, SE, IAC, SB, ComPort, 4, 1, IAC, SE, IAC, SB, ComPort, 5, 8, IAC, SE, IAC, SB, ComPort, 5, 11, IAC, SE});
        // ser2net's greeting: SUPPRESS-GO-AHEAD taken, ECHO declined, the line settings sent once COM-PORT is agreed.
        QTest::newRow("ser2net") << greeting << bytes({IAC, WILL, 3, IAC, DONT, 1}) + line << false << QByteArray();
        QTest::newRow("ser2net, acknowledged") << greeting + Acks << bytes({IAC, WILL, 3, IAC, DONT, 1}) + line << true << QByteArray();
        // Notifications, a modem-control answer and data among the acknowledgements; no answer to SET-CONTROL is needed.
        QTest::newRow("notifications and data") << bytes({IAC, DO, ComPort, IAC, SB, ComPort, 107, 0x30, IAC, SE}) + "ab" +
                                                       bytes({IAC, SB, ComPort, 106, 0x60, IAC, SE, IAC, IAC}) + Acks + "c"
                                                << line << true << QByteArray("ab\xff" "c");
        QTest::newRow("acknowledgement split by the reads") << bytes({IAC, DO, ComPort}) + Acks.left(4) + "|" + Acks.mid(4) << line << true
                                                           << QByteArray();
        QTest::newRow("option refused") << bytes({IAC, DONT, ComPort, IAC, DO, 24}) << bytes({IAC, WONT, 24}) << false << QByteArray();
    }
    void negotiation()
    {
        QFETCH(QByteArray, server);
        Rfc2217Codec codec;
        codec.start();
        codec.requestLine(19200);
        QCOMPARE(codec.takeOutgoing(), bytes({IAC, WILL, ComPort, IAC, WILL, 0, IAC, DO, 0, IAC, DO, 3}));
        QByteArray data;
        for (const QByteArray& read : server.split('|'))
            data += codec.feed(read);
        QTEST(codec.takeOutgoing(), "answer");
        QTEST(codec.lineSettled(), "settled");
        QTEST(data, "data");
        QCOMPARE(codec.refused(), server.startsWith(bytes({IAC, DONT})));
        QCOMPARE(codec.settledBaud() == 19200 && codec.lineAsAsked(), codec.lineSettled());
    }
};

QTEST_GUILESS_MAIN(TestRfc2217)
#include "test_rfc2217.moc"
