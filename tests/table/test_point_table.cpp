// The point table driven through the real window with key, mouse and wheel events as
// the window system delivers them: the editor, Enter, the point-count list, Clear,
// input types and decimal formats.
#include <QClipboard>
#include <QLabel>
#include <QRadioButton>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QMessageBox>
#include <QTimer>
#include <QWheelEvent>

#include "app/PickList.h"
#include "common/LocaleGuard.h"
#include "common/TestWindow.h"
#include "app/CellEditor.h"
#include "app/FlexGrid.h"
#include "table/TableCheck.h"

namespace {
QString cell(frmMain* w, int row, int col) { return w->MSFlexGrid1->TextMatrix(row, col); }
QWidget* focused() { return QApplication::focusWidget(); }

void clickAt(frmMain* w, QPoint at, Qt::KeyboardModifiers mods = {}) { QTest::mouseClick(w->MSFlexGrid1->viewport(), Qt::LeftButton, mods, at); }
QPoint cellPoint(frmMain* w, int row, int col)
{
    const QModelIndex idx = w->MSFlexGrid1->model()->index(row, col);
    w->MSFlexGrid1->scrollTo(idx);
    return w->MSFlexGrid1->visualRect(idx).center();
}
void clickCell(frmMain* w, int row, int col, Qt::KeyboardModifiers mods = {}) { clickAt(w, cellPoint(w, row, col), mods); }

// Keys to whatever has the focus. \b Backspace, \x01 Ctrl+A, \x02 Home, \x16 Ctrl+V,
// \x7f Delete (X sends it with the text U+007F), \r Enter, \t Tab, \x1b Esc.
void type(const QString& keys)
{
    for (QChar c : keys) {
        switch (c.unicode()) {
        case '\b': QTest::keyClick(focused(), Qt::Key_Backspace); break;
        case 0x01: QTest::keyClick(focused(), Qt::Key_A, Qt::ControlModifier); break;
        case 0x02: QTest::keyClick(focused(), Qt::Key_Home); break;
        case 0x16: QTest::keyClick(focused(), Qt::Key_V, Qt::ControlModifier); break;
        case 0x7f: QTest::sendKeyEvent(QTest::Click, focused(), Qt::Key_Delete, QStringLiteral("\x7f"), {}); break;
        case '\r': QTest::keyClick(focused(), Qt::Key_Return); break;
        case '\t': QTest::keyClick(focused(), Qt::Key_Tab); break;
        case 0x1b: QTest::keyClick(focused(), Qt::Key_Escape); break;
        default: QTest::keyClick(focused(), c.toLatin1());
        }
    }
}
void wheel(QWidget* target, int notches)
{
    QWheelEvent e(target->rect().center(), target->mapToGlobal(target->rect().center()), {}, {0, 120 * notches}, Qt::NoButton, {},
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &e);
}
} // namespace

class TestPointTable : public QObject {
    Q_OBJECT
private slots:
    void enterWalksTheTableAndPressesButtons()
    {
        MessageRecorder messages;
        DialogRecorder dialogs;
        auto w = openWindow();
        QVERIFY(w);
        w->selectListText(w->cboSetPoints, "3");
        clickCell(w.get(), 0, 1);
        type("5\r5\r");
        QCOMPARE(cell(w.get(), 0, 1) + cell(w.get(), 0, 2), QString("5.0005.000"));
        QCOMPARE(w->Text1->text(), QString("20.000")); // open over point 2's input
        type("\r\r7\r8.5\r");
        QCOMPARE(cell(w.get(), 2, 1) + cell(w.get(), 2, 2), QString("7.0008.500"));
        QVERIFY(w->Text1->isHidden() && messages.shown.isEmpty());
        QTRY_COMPARE(focused(), static_cast<QWidget*>(w->cmdProgramMeter));
        // Return and keypad Enter press the focused button, as Space does.
        for (QPushButton* b : {w->cmdProgramMeter, w->cmdReset, w->cmdImport}) {
            QSignalSpy clicks(b, &QPushButton::clicked);
            b->setFocus(Qt::TabFocusReason);
            QTest::keyClick(b, Qt::Key_Return);
            QTest::keyClick(b, Qt::Key_Enter, Qt::KeypadModifier);
            QCOMPARE(clicks.size(), 2);
        }
    }

    void editorKeys_data()
    {
        QTest::addColumn<QString>("keys"); // typed into the editor opened on a Current input of 4.000
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored"); // after Tab leaves the cell; "" = refused with the range message, 4.000 kept
        QTest::addColumn<bool>("german");    // decimal comma
        QTest::newRow("second point, even over a selection") << "." << "4.000" << "4.000" << false;
        QTest::newRow("digit replaces the selection") << "7" << "7" << "7.000" << false;
        QTest::newRow("letters, blanks, + and , ignored") << "7abc +,xZ " << "7" << "7.000" << false;
        QTest::newRow("one pasted value through the filter") << "\b\x16" << "1.5" << "1.500" << false;
        QTest::newRow("minus only first") << "7-" << "7" << "7.000" << false;
        QTest::newRow("minus over the whole text") << "712\x01-5" << "-5" << "" << false;
        QTest::newRow("six digits without a point") << "\b1234567." << "123456" << "" << false;
        QTest::newRow("seven characters with a point") << "\b12.34567" << "12.3456" << "12.346" << false;
        QTest::newRow("rounded out of range") << "\b23.0006" << "23.0006" << "" << false;
        QTest::newRow("Delete after the caret") << "\b12\x02\x7f" << "2" << "2.000" << false;
        QTest::newRow("Delete at the end") << "\b12\x7f" << "12" << "12.000" << false;
        QTest::newRow("Backspace") << "\b12\b" << "1" << "1.000" << false;
        QTest::newRow("comma where the point is a comma") << "\b1,5" << "1.5" << "1.500" << true;
        QTest::newRow("second comma where the point is a comma") << "\b1,5,2" << "1.52" << "1.520" << true;
        QTest::newRow("comma where the point is a point") << "\b1,5" << "15" << "15.000" << false;
    }
    void editorKeys()
    {
        QFETCH(QString, keys);
        QFETCH(QString, text);
        QFETCH(QString, stored);
        QFETCH(bool, german);
        std::optional<GermanLocale> locale;
        if (german)
            locale.emplace();
        MessageRecorder messages;
        auto w = openWindow();
        QVERIFY(w);
        QGuiApplication::clipboard()->setText("1a.5");
        clickCell(w.get(), 0, 1);
        type(keys);
        QCOMPARE(w->Text1->text(), text);
        type("\t");
        QCOMPARE(cell(w.get(), 0, 1), stored.isEmpty() ? QString("4.000") : stored);
        QCOMPARE(messages.prompts(), stored.isEmpty() ? QStringList{"Scale input value must be between 0.000 and 23.000 (mA) for Current"} : QStringList());
    }

    // A block pasted into the cell a click opened: each value checked as if typed, the first
    // refusal ends the paste; copying the cells gives the block back in its normal forms.
    void pasteAndCopyBlocks_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QStringList>("points"); // input:display of points 1 to 4 afterwards
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("status");
        QTest::newRow("rows beyond the last point") << "1\t0\n5\t25\n9\t50\n13\t75\n17\t100\n"
            << QStringList{"1.000:0.000", "5.000:25.000", "9.000:50.000", "13.000:75.000"} << "" << "1 pasted rows beyond the last point ignored";
        QTest::newRow("refused value in the middle") << "4\t0\r\n30\t50\r\n12\t75\r\n"
            << QStringList{"4.000:0.000", "20.000:20.000", ":", ":"} << "Scale input value must be between 0.000 and 23.000 (mA) for Current\r\n\r\nPoint 2" << "";
        // A cell that is not a number refuses the whole block: nothing is stored. The message
        // names the point, whose cell is then open for a new value.
        const QStringList untouched{"4.000:4.000", "20.000:20.000", ":", ":"};
        QTest::newRow("heading row") << "Input mA\tDisplay\n4\t0\n20\t100\n" << untouched
            << "Scale input value must be between 0.000 and 23.000 (mA) for Current\r\n\r\nPoint 1" << "";
        QTest::newRow("decimal comma") << "4\t0\n20\t99,5\n" << untouched
            << "Display value must be between -99.999 and 999.999 for selected decimal pt.\r\n\r\nPoint 2" << "";
    }
    void pasteAndCopyBlocks()
    {
        QFETCH(QString, clipboard);
        QFETCH(QStringList, points);
        QFETCH(QString, message);
        QFETCH(QString, status);
        MessageRecorder messages;
        auto w = openWindow();
        QVERIFY(w);
        w->selectListText(w->cboSetPoints, "4");
        QGuiApplication::clipboard()->setText(clipboard);
        clickCell(w.get(), 0, 1);
        type("\x16");
        QStringList now;
        for (int r = 0; r < 4; ++r)
            now << cell(w.get(), r, 1) + ':' + cell(w.get(), r, 2);
        QCOMPARE(now, points);
        QCOMPARE(messages.prompts(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!message.isEmpty())
            QVERIFY(w->MSFlexGrid1->Row() + 1 == message.section(' ', -1).toInt() && focused() == w->Text1);
        QVERIFY2(status.isEmpty() ? !w->panelText(1).contains("ignored") : w->panelText(1) == status, qPrintable(w->panelText(1)));
        QVERIFY(!w->cboSetPoints->isEnabled()); // locked as a click on the grid locks it

        clickCell(w.get(), 0, 1);
        QTest::keyClick(focused(), Qt::Key_Escape);
        clickCell(w.get(), 1, 2, Qt::ShiftModifier);
        QTest::keyClick(w->MSFlexGrid1, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString(points[0] + '\n' + points[1] + '\n').replace(':', '\t'));
    }

    void leavingACellChecksOnce()
    {
        MessageRecorder messages;
        auto w = openWindow();
        QVERIFY(w);
        FlexGrid* g = w->MSFlexGrid1;
        w->selectListText(w->cboSetPoints, "4");
        clickCell(w.get(), 0, 1);
        type("7");
        clickCell(w.get(), 2, 2); // another cell: checked, stored, editor there
        QVERIFY(cell(w.get(), 0, 1) == "7.000" && w->Text1->isVisible() && g->Row() == 2);
        type("9\t"); // Tab: stored, focus on the grid
        QCOMPARE(cell(w.get(), 2, 2), QString("9.000"));
        QTRY_COMPARE(focused(), static_cast<QWidget*>(g));
        type("\x7f"); // Delete in the grid empties the current cell at once
        QCOMPARE(cell(w.get(), 2, 2), QString());
        type("\r1\x1b"); // Enter in the grid opens the next cell; Esc drops the typing
        QVERIFY(g->Row() == 3 && cell(w.get(), 3, 1).isEmpty());
        clickCell(w.get(), 1, 1);
        QTest::keyClick(focused(), Qt::Key_Down); // stored, editor one row down
        type("6");
        QTest::keyClick(focused(), Qt::Key_Up);
        QVERIFY(cell(w.get(), 2, 1) == "6.000" && g->Row() == 1);
        // A real message box moves the focus while a refused value is being stored.
        messages.onShown = [&](const ShownMessage&) { QMessageBox box; QTimer::singleShot(10, &box, &QMessageBox::accept); box.exec(); };
        type("\b99");
        clickCell(w.get(), 0, 2);
        QVERIFY(messages.shown.size() == 1 && cell(w.get(), 1, 1) == "20.000"); // refused: the value before stays
        messages.onShown = nullptr;
        // A button pressed while typing: checked as the editor loses the focus.
        QApplication::setActiveWindow(w.get());
        QTRY_VERIFY(w->Text1->isVisible() && focused() == w->Text1);
        type("\b1000");
        QTest::mouseClick(w->cmdReset, Qt::LeftButton);
        QCOMPARE(messages.shown.size(), 2);
        // The grid scrolled: the editor closes with its value stored.
        w->selectListText(w->cboSetPoints, "32");
        clickCell(w.get(), 0, 1);
        type("5");
        g->verticalScrollBar()->setValue(5);
        QVERIFY(w->Text1->isHidden() && cell(w.get(), 0, 1) == "5.000");
        // A grid that cannot take the focus back: the value is kept, the status bar says so.
        clickCell(w.get(), 6, 2);
        type("9");
        g->setEnabled(false);
        type("\t");
        QCOMPARE(w->panelText(1) + "|" + cell(w.get(), 6, 2), QString("Re-enter value for previous cell|9.000"));
    }

    void clicksAnywhereOnTheGridLockTheList_data()
    {
        QTest::addColumn<int>("where"); // 0 value cell, 1 point-number column, 2 below the last row, 3 the editor
        QTest::newRow("value cell") << 0;
        QTest::newRow("point-number column") << 1;
        QTest::newRow("below the last row") << 2;
        QTest::newRow("the editor") << 3;
    }
    void clicksAnywhereOnTheGridLockTheList()
    {
        QFETCH(int, where);
        MessageRecorder messages;
        auto w = openWindow();
        QVERIFY(w);
        FlexGrid* g = w->MSFlexGrid1;
        clickCell(w.get(), 1, 2);
        QTest::mouseClick(w->cmdReset, Qt::LeftButton); // unlocks; the editor closes
        QVERIFY(w->cboSetPoints->isEnabled() && w->Text1->isHidden());
        const QRect last = g->visualRect(g->model()->index(1, 2));
        if (where == 3) {
            clickCell(w.get(), 1, 2);
            w->document()->setCountUnlocked(true);
            QTest::mouseClick(w->Text1, Qt::LeftButton);
        } else
            clickAt(w.get(), where == 0 ? cellPoint(w.get(), 1, 2) : where == 1 ? cellPoint(w.get(), 0, 0) : last.bottomLeft() + QPoint(0, 20));
        QVERIFY(!w->cboSetPoints->isEnabled());
        if (where != 3) { // the editor opens over the current cell
            QVERIFY(w->Text1->isVisible());
            QCOMPARE(w->Text1->geometry().topLeft(), g->viewport()->mapTo(w->Text1->parentWidget(), last.topLeft()));
        }
        // Leaving the list locks it too.
        QTest::mouseClick(w->cmdReset, Qt::LeftButton);
        w->cboSetPoints->setFocus(Qt::TabFocusReason);
        type("\t");
        QTRY_VERIFY(!w->cboSetPoints->isEnabled());
    }

    void wheelChangesOnlyAListInUse()
    {
        MessageRecorder messages;
        auto w = openWindow();
        QVERIFY(w);
        w->selectListText(w->cboSetPoints, "5");
        for (PickList* l : {w->cboSetPoints, w->cboDecimal}) {
            const QString before = l->Text() + "|" + cell(w.get(), 1, 2) + "|" + QString::number(w->MSFlexGrid1->Rows());
            wheel(l, -1); // the pointer rests on a list the user is not working with
            QCOMPARE(l->Text() + "|" + cell(w.get(), 1, 2) + "|" + QString::number(w->MSFlexGrid1->Rows()), before);
            l->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(l->hasFocus());
            wheel(l, -1);
            QVERIFY(!before.startsWith(l->Text() + "|"));
        }
    }
    void clearEmptiesTheSelectionInAnyDirection()
    {
        MessageRecorder messages;
        auto w = openWindow();
        QVERIFY(w);
        FlexGrid* g = w->MSFlexGrid1;
        w->selectListText(w->cboSetPoints, "5");
        for (int r = 0; r < 5; ++r)
            for (int c = 1; c < 3; ++c)
                g->setTextMatrix(r, c, QString("%1.000").arg(r));
        clickCell(w.get(), 3, 2);
        clickCell(w.get(), 1, 1, Qt::ShiftModifier); // far corner up and to the left
        QTest::mouseClick(w->cmdReset, Qt::LeftButton);
        QCOMPARE(g->Clip(), QString("\t\r\t\r\t"));
        QCOMPARE(QList<int>({g->Row(), g->Col(), g->RowSel(), g->ColSel()}), QList<int>({3, 2, 1, 1}));
        QCOMPARE(cell(w.get(), 0, 1) + cell(w.get(), 4, 2) + cell(w.get(), 2, 0), QString("0.0004.0003"));
        // A drag down and to the right.
        QTest::mousePress(g->viewport(), Qt::LeftButton, {}, cellPoint(w.get(), 3, 1));
        QMouseEvent move(QEvent::MouseMove, cellPoint(w.get(), 4, 2), g->viewport()->mapToGlobal(cellPoint(w.get(), 4, 2)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(g->viewport(), &move);
        QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, cellPoint(w.get(), 4, 2));
        QTest::mouseClick(w->cmdReset, Qt::LeftButton);
        QCOMPARE(cell(w.get(), 4, 1) + cell(w.get(), 4, 2) + cell(w.get(), 0, 2), QString("0.000"));
    }

    void countTypeAndFormatReshapeTheTable()
    {
        MessageRecorder messages;
        auto w = openWindow();
        QVERIFY(w);
        w->selectListText(w->cboSetPoints, "10");
        for (int r = 2; r < 10; ++r)
            w->MSFlexGrid1->setTextMatrix(r, 2, "12.345");
        clickCell(w.get(), 2, 2);
        type("7"); // applied while typing: the value is checked and stored first
        w->selectListText(w->cboSetPoints, "5");
        w->selectListText(w->cboSetPoints, "10");
        QCOMPARE(cell(w.get(), 2, 2) + cell(w.get(), 4, 2) + "|" + cell(w.get(), 5, 2) + cell(w.get(), 9, 0), QString("7.00012.345|10"));
        QTest::mouseClick(w->optPulse, Qt::LeftButton);
        QCOMPARE(w->lblInput->text() + w->cboDecimal->Text(), QString("Input (Hz)ddddd.d"));
        QCOMPARE(cell(w.get(), 1, 1) + "|" + cell(w.get(), 1, 2) + "|" + cell(w.get(), 3, 2), QString("10000.0|10000.0|1234.5"));
        QVERIFY(w->selectListText(w->cboDecimal, "dddddd"));
        QCOMPARE(cell(w.get(), 3, 2) + "|" + cell(w.get(), 5, 2), QString("12345|")); // an empty cell stays missing
        QCOMPARE(w->CheckPointTable(), int(TableCheck::MissingValue));
        QTest::mouseClick(w->optCurrent, Qt::LeftButton);
        QCOMPARE(cell(w.get(), 0, 1) + "|" + cell(w.get(), 1, 2) + "|" + cell(w.get(), 3, 2), QString("4.000|20.000|12.345"));
        QVERIFY(messages.shown.isEmpty());
    }

    void reselectingTheSelectedTypeChangesNothing()
    {
        MessageRecorder messages;
        auto w = openWindow();
        QVERIFY(w);
        QVERIFY(w->selectListText(w->cboDecimal, "dddd.dd"));
        w->MSFlexGrid1->setTextMatrix(0, 1, "5.000");
        QTest::mouseClick(w->optCurrent, Qt::LeftButton);
        QCOMPARE(cell(w.get(), 0, 1) + "|" + cell(w.get(), 1, 2) + "|" + w->cboDecimal->Text(), QString("5.000|200.00|dddd.dd"));
    }

    // A used table that breaks a rule: its message, then the offending cell selected.
    void fitUseSelectsTheFailingCell()
    {
        MessageRecorder messages;
        auto w = openWindow();
        QVERIFY(w);
        const PointTable table{InputType::Current, "ddd.ddd", {{"4.000", "4.000"}, {"9.000", "9.000"}, {"8.000", "8.000"}}};
        QVERIFY(w->useTable(table, "Fit Points"));
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown[0].title, QString("Input Value Error"));
        QCOMPARE(QString::number(w->MSFlexGrid1->Row()) + QString::number(w->MSFlexGrid1->Col()) + cell(w.get(), 2, 1), QString("218.000"));
        QCOMPARE(focused(), w->MSFlexGrid1);
    }
};

QTEST_MAIN(TestPointTable)
#include "test_point_table.moc"
