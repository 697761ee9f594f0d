#include <QTest>
#include <QLabel>
#include <QGroupBox>
#include <QRadioButton>
#include <QPushButton>
#include <QProgressBar>
#include <QSysInfo>

#include "app/PickList.h"
#include "common/TestWindow.h"
#include "table/FlexGrid.h"
#include "table/CellEditor.h"

class TestWindowShell : public QObject {
    Q_OBJECT
private slots:
    void defaultsAfterStartUp()
    {
        MessageRecorder messages;
        auto w = makeWindow();
        QVERIFY(messages.shown.isEmpty());
        QCOMPARE(w->windowTitle(), QString("Talvo Series - Multi-Point Linearization Utility"));
        QCOMPARE(w->cboCommPort->count(), 0);
        QCOMPARE(w->cboCommPort->Text(), QString());
        QCOMPARE(w->cboBaudRate->Text(), QString("2400"));
        QCOMPARE(w->cboAddress->Text(), QString("001"));
        QCOMPARE(w->cboDecimal->Text(), QString("ddd.ddd"));
        QCOMPARE(w->cboSetPoints->Text(), QString("2"));
        QVERIFY(w->cboSetPoints->isEnabled());
        QVERIFY(w->optCurrent->isChecked());
        QCOMPARE(w->lblInput->text(), QString("Input (mA)"));
        QCOMPARE(w->lblDisplay->text(), QString("  Display"));
        QCOMPARE(w->MSFlexGrid1->Rows(), 2);
        const QStringList cells = {"1", "4.000", "4.000", "2", "20.000", "20.000"};
        for (int i = 0; i < 6; ++i)
            QCOMPARE(w->MSFlexGrid1->TextMatrix(i / 3, i % 3), cells[i]);
        QVERIFY(w->Text1->isHidden());
        QCOMPARE(w->Text1->MaxLength(), 7);
        QCOMPARE(w->panelText(1), QString("Detected available PC Comm. Ports..."));
    }

    void controlsHaveTheirCaptionsAndLists()
    {
        MessageRecorder messages;
        auto w = makeWindow();
        auto text = [&](const char* name) {
            QObject* o = w->findChild<QObject*>(name);
            if (auto* l = qobject_cast<QLabel*>(o)) return l->text();
            if (auto* b = qobject_cast<QAbstractButton*>(o)) return b->text();
            if (auto* g = qobject_cast<QGroupBox*>(o)) return g->title();
            return QString("<missing %1>").arg(name);
        };
        QCOMPARE(text("lblTitle"), QString("Multi-Point Linearization Utility"));
        QCOMPARE(text("Frame3"), QString("Meter Setup"));
        QCOMPARE(text("Frame1"), QString("Configuration"));
        QCOMPARE(text("frmSelect"), QString("Input"));
        QCOMPARE(text("Frame2"), QString("Serial Settings"));
        QCOMPARE(text("frmInput"), QString("Number of Points"));
        QCOMPARE(text("Label4"), QString("Decimal Point"));
        QCOMPARE(text("Label6"), QString("Meter Address"));
        QCOMPARE(text("lblPCCommPort"), QString("PC Comm Port"));
        QCOMPARE(text("lblBaudRate"), QString("Baud Rate"));
        QCOMPARE(text("Label3"), QString("No. of Points"));
        QCOMPARE(text("cmdReset"), QString("Clear"));
        QCOMPARE(text("cmdImport"), QString("Import"));
        QCOMPARE(text("cmdExport"), QString("Export"));
        QCOMPARE(text("cmdProgramMeter"), QString("Program Meter"));
        QCOMPARE(text("Label1"), QString("Note:  For use with Firmware Ver. 1.100 or later only"));
        QCOMPARE(w->Image1->toolTip(), QString("Talvo Series "));
        QCOMPARE(w->MSFlexGrid1->toolTip(), QString("Press ENTER to confirm value and move to next cell"));
        QCOMPARE(w->cmdReset->toolTip(), QString("Clears contents of selected cells and allows user to change number of points"));
        QCOMPARE(w->cmdImport->toolTip(), QString("Import values from Microsoft Excel spreadsheet"));
        QCOMPARE(w->cmdExport->toolTip(), QString("Export values to a Microsoft Excel spreadsheet"));
        QCOMPARE(w->mnuOpen->text(), QString("Open Settings"));
        QCOMPARE(w->mnuSave->text(), QString("Save Settings"));
        QCOMPARE(w->mnuExit->text(), QString("Exit"));
        QCOMPARE(w->mnuAbout->text(), QString("&About"));

        auto entries = [](PickList* l) { QStringList s; for (int i = 0; i < l->count(); ++i) s << l->List(i); return s; };
        QCOMPARE(entries(w->cboBaudRate), QStringList({"300", "600", "1200", "2400", "4800", "9600", "19200"}));
        QCOMPARE(entries(w->cboDecimal), QStringList({"dddddd", "ddddd.d", "dddd.dd", "ddd.ddd", "dd.dddd", "d.ddddd"}));
        const QStringList addresses = entries(w->cboAddress);
        QCOMPARE(addresses.size(), 247);
        QCOMPARE(addresses.first(), QString("001"));
        QCOMPARE(addresses.last(), QString("247"));
        const QStringList counts = entries(w->cboSetPoints);
        QCOMPARE(counts.size(), 31);
        QCOMPARE(counts.first(), QString("2"));
        QCOMPARE(counts.last(), QString("32"));
        QVERIFY(!w->cboBaudRate->isEditable());
    }

    void layoutFollowsThePixelPositions()
    {
        MessageRecorder messages;
        auto w = makeWindow();
        QWidget* client = w->centralWidget();
        QCOMPARE(client->size(), QSize(708, 455));
        QCOMPARE(client->palette().color(QPalette::Window), QColor(0xE0, 0xE0, 0xE0));
        auto rectOf = [&](const char* name) {
            auto* wid = w->findChild<QWidget*>(name);
            return QRect(wid->mapTo(client, QPoint(0, 0)), wid->size());
        };
        QCOMPARE(rectOf("cmdProgramMeter"), QRect(304, 368, 97, 33));
        QCOMPARE(rectOf("MSFlexGrid1"), QRect(392, 136, 177, 185));
        QCOMPARE(rectOf("cboAddress"), QRect(208, 168, 81, 21));
        QCOMPARE(rectOf("cboDecimal"), QRect(64, 280, 81, 21));
        QCOMPARE(rectOf("Frame3"), QRect(16, 80, 321, 257));
        QCOMPARE(rectOf("ProgressBar1"), QRect(392, 440, 321, 14));
        QCOMPARE(w->findChild<QWidget*>("Image1")->size(), QSize(140, 44));
        QVERIFY(!w->cmdImport->isEnabled() == false); // enabled by choosing the point count at start-up
        QVERIFY(w->optCurrent->parentWidget() == w->frmSelect);
        QVERIFY(w->cboAddress->parentWidget() == w->Frame2);
    }

    void aboutShowsFiveLines()
    {
        MessageRecorder messages;
        auto w = makeWindow();
        w->mnuAbout->trigger();
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown[0].title, QString("About"));
        QCOMPARE(messages.shown[0].style, 0);
        const QStringList lines = messages.shown[0].prompt.split("\r\n");
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0], QString("Talvo Series - Multi-Point Linearization Utility"));
        QCOMPARE(lines[2], QString("Version: " TALVO_VERSION));
        QCOMPARE(lines[3], QString("Designed in 800 x 600 resolution"));
        QCOMPARE(lines[4], QString("Note:  For use with Firmware Version 1.100 or later only"));
    }

    void exitAsksAndOnlyYesCloses()
    {
        MessageRecorder messages;
        auto w = makeWindow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        messages.answers = {vbNo, vbCancel, vbYes};
        w->mnuExit->trigger();
        QVERIFY(w->isVisible());
        w->mnuExit->trigger();
        QVERIFY(w->isVisible());
        QCOMPARE(messages.shown[0].prompt, QString("Are you sure you want to exit the program?"));
        QCOMPARE(messages.shown[0].title, QString("Exit Program"));
        QCOMPARE(messages.shown[0].style, 35);
        w->mnuExit->trigger();
        QVERIFY(!w->isVisible());
    }

    void statusTextClearsTwoSecondsAfterRestart()
    {
        MessageRecorder messages;
        auto w = makeWindow();
        w->setPanelText(1, "first");
        w->RestartStatusTimer();
        QTest::qWait(1000);
        w->setPanelText(1, "second");
        w->RestartStatusTimer();
        QTest::qWait(1500);
        QCOMPARE(w->panelText(1), QString("second")); // 2.5 s after the first text
        QTRY_COMPARE_WITH_TIMEOUT(w->panelText(1), QString(), 1500);
        QCOMPARE(w->tmrStatusBarText.interval(), 3000);
        QVERIFY(w->tmrStatusBarText.isActive());
    }

    void secondCopyIsRefused()
    {
        QTemporaryDir dir;
        const QString lock = dir.filePath("instance.lock");
        MessageRecorder messages;
        auto first = makeWindow(PortMap(), lock);
        QVERIFY(!first->refusedAsSecondInstance());
        QVERIFY(messages.shown.isEmpty());
        auto second = makeWindow(PortMap(), lock);
        QVERIFY(second->refusedAsSecondInstance());
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown[0].prompt, QString("This program is already running"));
        QCOMPARE(messages.shown[0].style, 48);
        QCOMPARE(second->cboBaudRate->Text(), QString("2400")); // defaults were set first
        QVERIFY(!first->refusedAsSecondInstance());
        second.reset();
        first.reset();
        auto third = makeWindow(PortMap(), lock);
        QVERIFY(!third->refusedAsSecondInstance());
    }

    void staleLockDoesNotBlock()
    {
        QTemporaryDir dir;
        const QString lock = dir.filePath("stale.lock");
        QFile f(lock);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QString("999999\n%1\n%2\n").arg(QCoreApplication::applicationName(), QSysInfo::machineHostName()).toUtf8()); // a crashed copy's lock: no such process
        f.close();
        MessageRecorder messages;
        auto w = makeWindow(PortMap(), lock);
        QVERIFY(!w->refusedAsSecondInstance());
        QVERIFY(messages.shown.isEmpty());
    }
};

QTEST_MAIN(TestWindowShell)
#include "test_window_shell.moc"
