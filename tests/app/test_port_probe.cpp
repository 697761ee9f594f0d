#include <QElapsedTimer>
#include <QSerialPort>
#include <QTest>

#include "app/PickList.h"
#include "common/TestPty.h"
#include "common/TestWindow.h"

namespace {
QStringList entries(PickList* l)
{
    QStringList s;
    for (int i = 0; i < l->count(); ++i)
        s << l->List(i);
    return s;
}
} // namespace

class TestPortProbe : public QObject {
    Q_OBJECT
private slots:
    void modemIsLeftOutAndFirstOfferedIsSelected()
    {
        TestPty modem(true), meter;
        QVERIFY(modem.isValid() && meter.isValid());
        PortMap ports;
        ports.map(1, modem.path());
        ports.map(3, meter.path());
        ports.map(5, "/dev/does-not-exist"); // cannot be opened: skipped silently
        MessageRecorder messages;
        auto w = makeWindow(ports);
        QCOMPARE(entries(w->cboCommPort), QStringList({"3"}));
        QCOMPARE(w->cboCommPort->Text(), QString("3"));
        QVERIFY(messages.shown.isEmpty());
        QVERIFY(modem.received().isEmpty()); // the modem saw the probe and answered
        QCOMPARE(meter.received(), QByteArray("ATV1Q0\r"));
        QVERIFY(w->cboCommPort->toolTip().contains(meter.path()));
    }

    void eachAnswerIsJudgedOnItsOwn()
    {
        // A modem on 2 answering "OK" CR LF must not mark port 4 as a modem, nor a
        // port that answered "OK" without the line end make the next one a modem.
        TestPty first, modem(true), last;
        PortMap ports;
        ports.map(1, first.path());
        ports.map(2, modem.path());
        ports.map(4, last.path());
        MessageRecorder messages;
        auto w = makeWindow(ports);
        QCOMPARE(entries(w->cboCommPort), QStringList({"1", "4"}));
        QCOMPARE(w->cboCommPort->Text(), QString("1"));
    }

    void noPortsGiveAnEmptyListAndNoMessage()
    {
        MessageRecorder messages;
        auto w = makeWindow(PortMap());
        QCOMPARE(w->cboCommPort->count(), 0);
        QCOMPARE(w->cboCommPort->Text(), QString());
        QVERIFY(messages.shown.isEmpty());
        QCOMPARE(w->cboBaudRate->Text(), QString("2400"));
    }

    void portsAreClosedAfterTheProbe()
    {
        TestPty meter;
        PortMap ports;
        ports.map(2, meter.path());
        MessageRecorder messages;
        auto w = makeWindow(ports);
        QCOMPARE(entries(w->cboCommPort), QStringList({"2"}));
        // Reopening exclusively succeeds only if the probe let go of the device.
        QSerialPort again(meter.path());
        QVERIFY2(again.open(QIODevice::ReadWrite), qPrintable(again.errorString()));
    }

    void portHeldByAnotherProgramIsSkipped()
    {
        TestPty busy, free;
        QSerialPort holder(busy.path());
        QVERIFY(holder.open(QIODevice::ReadWrite));
        PortMap ports;
        ports.map(1, busy.path());
        ports.map(2, free.path());
        MessageRecorder messages;
        auto w = makeWindow(ports);
        QCOMPARE(entries(w->cboCommPort), QStringList({"2"}));
        QVERIFY(messages.shown.isEmpty());
    }

    void allPortsShareOneWait()
    {
        std::vector<std::unique_ptr<TestPty>> ptys;
        PortMap ports;
        for (int n = 1; n <= 16; ++n) {
            ptys.push_back(std::make_unique<TestPty>());
            QVERIFY(ptys.back()->isValid());
            ports.map(n, ptys.back()->path());
        }
        MessageRecorder messages;
        QElapsedTimer clock;
        clock.start();
        auto w = makeWindow(ports);
        const qint64 ms = clock.elapsed();
        QCOMPARE(w->cboCommPort->count(), 16);
        QVERIFY2(ms >= 500, qPrintable(QString::number(ms)));
        QVERIFY2(ms < 3000, qPrintable(QString("16 ports took %1 ms").arg(ms)));
    }
};

QTEST_MAIN(TestPortProbe)
#include "test_port_probe.moc"
