// The point table driven through the real window: clicks on the grid, keys typed into
// the floating editor, the point-count list, Clear, input types and decimal formats.
#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "app/PickList.h"
#include "common/TestWindow.h"
#include "table/CellEditor.h"
#include "table/FlexGrid.h"

namespace {

std::unique_ptr<frmMain> openWindow()
{
    auto w = makeWindow();
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        return nullptr;
    w->activateWindow();
    QApplication::setActiveWindow(w.get());
    if (!QTest::qWaitFor([&] { return w->isActiveWindow(); }, 5000))
        return nullptr;
    return w;
}

QString cell(frmMain* w, int row, int col) { return w->MSFlexGrid1->TextMatrix(row, col); }

void clickCell(frmMain* w, int row, int col, Qt::KeyboardModifiers mods = {})
{
    FlexGrid* g = w->MSFlexGrid1;
    const QModelIndex idx = g->model()->index(row, col);
    g->scrollTo(idx);
    QTest::mouseClick(g->viewport(), Qt::LeftButton, mods, g->visualRect(idx).center());
}

QWidget* focused() { return QApplication::focusWidget(); }

// Types into whatever has the focus, as a user does.
void type(const QString& keys)
{
    for (QChar c : keys)
        QTest::keyClick(focused(), c.toLatin1());
}
void press(Qt::Key key, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(focused(), key, mods); }

// Opens the editor on the cell, replaces its text by `typed` and confirms with Enter.
void enterValue(frmMain* w, int row, int col, const QString& typed)
{
    clickCell(w, row, col);
    QVERIFY(w->Text1->isVisible());
    QCOMPARE(focused(), static_cast<QWidget*>(w->Text1));
    press(Qt::Key_Backspace); // the loaded text is wholly selected
    type(typed);
    press(Qt::Key_Return);
}

} // namespace

class TestPointTable : public QObject {
    Q_OBJECT
private slots:
    void enterWalksThroughTheTable();
    void editorFollowsTheCurrentCell();
    void keyFilterAndLengthLimits();
    void rejectedValuesLeaveTheCellEmpty_data();
    void rejectedValuesLeaveTheCellEmpty();
    void escUpDownAndDelete();
    void leavingTheEditorChecksOnce();
    void realMessageBoxFromAFocusChange();
    void scrollingClosesTheEditor();
    void editedCellDecidesTheRules();
    void settingsAppliedWhileTyping();
    void gridThatCannotTakeTheFocus();
    void pointCountKeepsValues();
    void clearEmptiesSelectionInAnyDirection();
    void pointCountLock();
    void inputTypeDefaults();
    void decimalPointRescale();
    void sameResultsUnderGermanLocale();
};

void TestPointTable::enterWalksThroughTheTable()
{
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    w->selectListText(w->cboSetPoints, "3");
    QVERIFY(w->optCurrent->isChecked());
    QCOMPARE(w->cboDecimal->Text(), QString("ddd.ddd"));

    clickCell(w.get(), 0, 1);
    QVERIFY(w->Text1->isVisible());
    QCOMPARE(w->Text1->text(), QString("4.000"));
    QCOMPARE(w->Text1->selectedText(), QString("4.000"));
    type("5");
    press(Qt::Key_Return);
    QCOMPARE(cell(w.get(), 0, 1), QString("5.000"));
    QCOMPARE(w->MSFlexGrid1->Col(), 2);
    type("5");
    press(Qt::Key_Return);
    QCOMPARE(cell(w.get(), 0, 2), QString("5.000"));
    // The editor is open over the input cell of point 2, loaded from it.
    QCOMPARE(w->MSFlexGrid1->Row(), 1);
    QCOMPARE(w->MSFlexGrid1->Col(), 1);
    QVERIFY(w->Text1->isVisible());
    QCOMPARE(focused(), static_cast<QWidget*>(w->Text1));
    QCOMPARE(w->Text1->text(), QString("20.000"));

    press(Qt::Key_Return); // unchanged 20.000 passes
    press(Qt::Key_Return);
    QCOMPARE(w->MSFlexGrid1->Row(), 2);
    type("7");
    press(Qt::Key_Return);
    type("8.5");
    press(Qt::Key_Return); // the display value of the last point
    QCOMPARE(cell(w.get(), 2, 1), QString("7.000"));
    QCOMPARE(cell(w.get(), 2, 2), QString("8.500"));
    QVERIFY(w->Text1->isHidden());
    QTRY_COMPARE(focused(), static_cast<QWidget*>(w->cmdProgramMeter));
    QVERIFY(messages.shown.isEmpty());
    // Point numbers are untouched by editing.
    QCOMPARE(cell(w.get(), 2, 0), QString("3"));
}

void TestPointTable::editorFollowsTheCurrentCell()
{
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    w->selectListText(w->cboSetPoints, "32");
    clickCell(w.get(), 30, 2);
    FlexGrid* g = w->MSFlexGrid1;
    const QRect cellRect = g->visualRect(g->model()->index(30, 2));
    const QPoint cellTopLeft = g->viewport()->mapTo(w->Text1->parentWidget(), cellRect.topLeft());
    QCOMPARE(w->Text1->geometry().topLeft(), cellTopLeft);
    QCOMPARE(w->Text1->size(), cellRect.size());
    QVERIFY(w->Text1->alignment() & Qt::AlignRight);
    // Enter from the display column of point 31 opens point 32, scrolled into view.
    type("1");
    press(Qt::Key_Return);
    QCOMPARE(cell(w.get(), 30, 2), QString("1.000"));
    QCOMPARE(g->Row(), 31);
    const QRect next = g->visualRect(g->model()->index(31, 1));
    QVERIFY(g->viewport()->rect().contains(next));
    QCOMPARE(w->Text1->geometry().topLeft(), g->viewport()->mapTo(w->Text1->parentWidget(), next.topLeft()));
    QVERIFY(messages.shown.isEmpty());
}

void TestPointTable::keyFilterAndLengthLimits()
{
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    CellEditor* e = w->Text1;
    clickCell(w.get(), 0, 1);
    QCOMPARE(e->selectedText(), QString("4.000"));
    type("."); // a second point, even over a selection holding one
    QCOMPARE(e->text(), QString("4.000"));
    type("7");
    QCOMPARE(e->text(), QString("7"));
    type("abc +,xZ ");
    QCOMPARE(e->text(), QString("7"));
    press(Qt::Key_V, Qt::ControlModifier); // no paste past the filter
    QCOMPARE(e->text(), QString("7"));
    type("-"); // only first
    QCOMPARE(e->text(), QString("7"));
    type("12");
    QCOMPARE(e->text(), QString("712"));
    press(Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(e->selectedText(), QString("712"));
    type("-"); // wholly selected: a lone minus with the caret after it
    QCOMPARE(e->text(), QString("-"));
    QCOMPARE(e->cursorPosition(), 1);
    type("5");
    QCOMPARE(e->text(), QString("-5"));
    press(Qt::Key_Backspace);
    press(Qt::Key_Backspace);
    QCOMPARE(e->text(), QString());
    type("1234567");
    QCOMPARE(e->text(), QString("123456"));
    type(".");
    QCOMPARE(e->text(), QString("123456"));
    for (int i = 0; i < 6; ++i)
        press(Qt::Key_Backspace);
    type("123.4567");
    QCOMPARE(e->text(), QString("123.456"));
    // Enter stores the checked value: 123.456 is out of range for Current.
    press(Qt::Key_Return);
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(cell(w.get(), 0, 1), QString());
}

void TestPointTable::rejectedValuesLeaveTheCellEmpty_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("col");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("message"); // "" = accepted
    const QString cur = "Scale input value must be between 0.000 and 23.000 (mA) for Current";
    const QString volt = "Scale input value must be between -10.000 and 10.000 (V) for Voltage";
    const QString pulse = "Scale input value must be between 0 and 30,000 (Hz) for Pulse";
    QTest::newRow("current 23") << "optCurrent" << "" << 1 << "23" << "23.000" << "";
    QTest::newRow("current 23.0004") << "optCurrent" << "" << 1 << "23.0004" << "23.000" << "";
    QTest::newRow("current 23.0006") << "optCurrent" << "" << 1 << "23.0006" << "" << cur;
    QTest::newRow("current -0") << "optCurrent" << "" << 1 << "-0" << "" << cur;
    QTest::newRow("current lone minus") << "optCurrent" << "" << 1 << "-" << "" << cur;
    QTest::newRow("voltage -10") << "optVoltage" << "" << 1 << "-10" << "-10.000" << "";
    QTest::newRow("voltage -10.1") << "optVoltage" << "" << 1 << "-10.1" << "" << volt;
    QTest::newRow("voltage lone minus") << "optVoltage" << "" << 1 << "-" << "-" << "";
    QTest::newRow("pulse 30000") << "optPulse" << "" << 1 << "30000" << "30000.0" << "";
    QTest::newRow("pulse 30000.1") << "optPulse" << "" << 1 << "30000.1" << "" << pulse;
    QTest::newRow("pulse 12.34") << "optPulse" << "" << 1 << "12.34" << "12.3" << "";
    QTest::newRow("pulse -0") << "optPulse" << "" << 1 << "-0" << "" << pulse;
    QTest::newRow("dddddd 99999.6") << "optCurrent" << "dddddd" << 2 << "99999.6" << "100000" << "";
    QTest::newRow("ddd.ddd 1000") << "optCurrent" << "ddd.ddd" << 2 << "1000" << ""
                                  << "Display value must be between -99.999 and 999.999 for selected decimal pt.";
    QTest::newRow("d.ddddd -0.5") << "optCurrent" << "d.ddddd" << 2 << "-0.5" << "-.50000" << "";
    QTest::newRow("d.ddddd -9.9999") << "optCurrent" << "d.ddddd" << 2 << "-9.9999" << "-9.99990" << "";
    QTest::newRow("d.ddddd 10") << "optCurrent" << "d.ddddd" << 2 << "10" << ""
                                << "Display value must be between -9.9999 and 9.99999 for selected decimal pt.";
    QTest::newRow("ddddd.d -10000") << "optCurrent" << "ddddd.d" << 2 << "-10000" << ""
                                    << "Display value must be between -9999.9 and 99999.9 for selected decimal pt.";
}

void TestPointTable::rejectedValuesLeaveTheCellEmpty()
{
    QFETCH(QString, option);
    QFETCH(QString, format);
    QFETCH(int, col);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(QString, message);
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    auto* opt = w->findChild<QRadioButton*>(option);
    QVERIFY(opt);
    QTest::mouseClick(opt, Qt::LeftButton);
    QVERIFY(opt->isChecked());
    if (!format.isEmpty())
        QVERIFY(w->selectListText(w->cboDecimal, format));
    enterValue(w.get(), 0, col, typed);
    QCOMPARE(cell(w.get(), 0, col), stored);
    if (message.isEmpty()) {
        QVERIFY(messages.shown.isEmpty());
    } else {
        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown[0].prompt, message);
        QCOMPARE(messages.shown[0].title, QString(col == 1 ? "Invalid Scale Value" : "Invalid Display Value"));
        QCOMPARE(messages.shown[0].style, 0);
    }
}

void TestPointTable::escUpDownAndDelete()
{
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    FlexGrid* g = w->MSFlexGrid1;
    w->selectListText(w->cboSetPoints, "3");
    // Esc: the typed text is dropped, the focus goes to the grid.
    clickCell(w.get(), 1, 1);
    type("9");
    press(Qt::Key_Escape);
    QVERIFY(w->Text1->isHidden());
    QCOMPARE(cell(w.get(), 1, 1), QString("20.000"));
    QTRY_COMPARE(focused(), static_cast<QWidget*>(g));
    // Typing in the grid starts no edit; "." and "-" are not Delete.
    type(".-5");
    QCOMPARE(cell(w.get(), 1, 1), QString("20.000"));
    QVERIFY(w->Text1->isHidden());
    // Delete in the grid empties the current cell at once.
    press(Qt::Key_Delete);
    QCOMPARE(cell(w.get(), 1, 1), QString());
    // Enter in the grid opens the editor on the next cell.
    press(Qt::Key_Return);
    QCOMPARE(g->Col(), 2);
    QVERIFY(w->Text1->isVisible());
    QCOMPARE(focused(), static_cast<QWidget*>(w->Text1));
    // Down stores the checked value and opens the cell below.
    type("3");
    press(Qt::Key_Down);
    QCOMPARE(cell(w.get(), 1, 2), QString("3.000"));
    QCOMPARE(g->Row(), 2);
    QVERIFY(w->Text1->isVisible());
    // Down in the last row: stored, closed, the current cell stays.
    type("6");
    press(Qt::Key_Down);
    QCOMPARE(cell(w.get(), 2, 2), QString("6.000"));
    QCOMPARE(g->Row(), 2);
    QVERIFY(w->Text1->isHidden());
    // Up in the first row likewise.
    clickCell(w.get(), 0, 1);
    type("2");
    press(Qt::Key_Up);
    QCOMPARE(cell(w.get(), 0, 1), QString("2.000"));
    QCOMPARE(g->Row(), 0);
    QVERIFY(w->Text1->isHidden());
    // Up from row 2 moves up.
    clickCell(w.get(), 2, 1);
    type("11");
    press(Qt::Key_Up);
    QCOMPARE(cell(w.get(), 2, 1), QString("11.000"));
    QCOMPARE(g->Row(), 1);
    QCOMPARE(w->Text1->text(), QString());
    QVERIFY(messages.shown.isEmpty());
}

void TestPointTable::leavingTheEditorChecksOnce()
{
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    w->selectListText(w->cboSetPoints, "4");
    // Leaving by a click on another cell: checked and stored once, editor on the new cell.
    clickCell(w.get(), 0, 1);
    type("7");
    clickCell(w.get(), 2, 2);
    QCOMPARE(cell(w.get(), 0, 1), QString("7.000"));
    QCOMPARE(w->MSFlexGrid1->Row(), 2);
    QCOMPARE(w->MSFlexGrid1->Col(), 2);
    QVERIFY(w->Text1->isVisible());
    QCOMPARE(focused(), static_cast<QWidget*>(w->Text1));

    // A rejected value, with the message box moving the window's focus while it is up.
    messages.onShown = [&](const ShownMessage&) {
        QWidget box;
        box.show();
        QApplication::setActiveWindow(&box);
        QCoreApplication::processEvents();
        box.close();
        QApplication::setActiveWindow(w.get());
        QCoreApplication::processEvents();
    };
    type("1000");
    clickCell(w.get(), 3, 1);
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].title, QString("Invalid Display Value"));
    QCOMPARE(cell(w.get(), 2, 2), QString());
    QCOMPARE(w->MSFlexGrid1->Row(), 3);
    QTRY_VERIFY(w->Text1->isVisible());

    // Leaving by Tab: checked, stored, the focus back on the grid.
    messages.onShown = nullptr;
    type("12.5");
    press(Qt::Key_Tab);
    QCOMPARE(cell(w.get(), 3, 1), QString("12.500"));
    QVERIFY(w->Text1->isHidden());
    QTRY_COMPARE(focused(), static_cast<QWidget*>(w->MSFlexGrid1));
    QCOMPARE(messages.shown.size(), 1);

    // Clicking a button: checked as the editor loses the focus, then the button's work.
    clickCell(w.get(), 1, 1);
    type("30");
    QTest::mouseClick(w->cmdReset, Qt::LeftButton);
    QCOMPARE(messages.shown.size(), 2);
    QCOMPARE(messages.shown[1].prompt, QString("Scale input value must be between 0.000 and 23.000 (mA) for Current"));
    QCOMPARE(cell(w.get(), 1, 1), QString());
    QVERIFY(w->Text1->isHidden());
}

void TestPointTable::realMessageBoxFromAFocusChange()
{
    auto w = openWindow();
    QVERIFY(w);
    int boxes = 0;
    QString boxText;
    QTimer closer;
    closer.setInterval(20);
    connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++boxes;
            boxText = box->text();
            box->accept();
        }
    });
    closer.start();
    clickCell(w.get(), 0, 1);
    type("99");
    clickCell(w.get(), 1, 2);
    QTRY_COMPARE(boxes, 1);
    QCOMPARE(boxText, QString("Scale input value must be between 0.000 and 23.000 (mA) for Current"));
    QCOMPARE(cell(w.get(), 0, 1), QString());
    QCOMPARE(cell(w.get(), 1, 2), QString("20.000"));
    // The window takes keys again and a good value is stored once, with no new box.
    w->activateWindow();
    QApplication::setActiveWindow(w.get());
    QTRY_VERIFY(w->isActiveWindow());
    clickCell(w.get(), 0, 1);
    QTRY_COMPARE(focused(), static_cast<QWidget*>(w->Text1));
    type("6");
    press(Qt::Key_Return);
    QCOMPARE(cell(w.get(), 0, 1), QString("6.000"));
    QTest::qWait(100);
    QCOMPARE(boxes, 1);
}

void TestPointTable::scrollingClosesTheEditor()
{
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    w->selectListText(w->cboSetPoints, "32");
    clickCell(w.get(), 0, 1);
    type("7");
    w->MSFlexGrid1->verticalScrollBar()->setValue(5);
    QVERIFY(w->Text1->isHidden());
    QCOMPARE(cell(w.get(), 0, 1), QString("7.000"));
    QVERIFY(messages.shown.isEmpty());
}

void TestPointTable::editedCellDecidesTheRules()
{
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    QVERIFY(w->selectListText(w->cboDecimal, "d.ddddd"));
    // A range reaching into the display column: the value typed is the input cell's.
    clickCell(w.get(), 0, 1);
    clickCell(w.get(), 1, 2, Qt::ShiftModifier);
    QCOMPARE(w->MSFlexGrid1->ColSel(), 2);
    QCOMPARE(w->MSFlexGrid1->Col(), 1);
    QTRY_COMPARE(focused(), static_cast<QWidget*>(w->Text1));
    type("5");
    press(Qt::Key_Tab);
    QCOMPARE(cell(w.get(), 0, 1), QString("5.000"));
    QVERIFY(messages.shown.isEmpty());
}

void TestPointTable::settingsAppliedWhileTyping()
{
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    w->selectListText(w->cboSetPoints, "4");
    // A menu command applies settings while the editor is open: the typed value is
    // checked and stored before the table changes.
    clickCell(w.get(), 3, 2);
    type("7");
    w->selectListText(w->cboSetPoints, "3");
    QVERIFY(w->Text1->isHidden());
    QCOMPARE(w->MSFlexGrid1->Rows(), 3);
    clickCell(w.get(), 2, 2);
    type("5");
    w->selectListText(w->cboDecimal, "dddd.dd");
    QCOMPARE(cell(w.get(), 2, 2), QString("5.00"));
    clickCell(w.get(), 2, 1);
    type("9");
    w->setOptionValue(w->optVoltage, true);
    QCOMPARE(cell(w.get(), 2, 1), QString("9.000"));
    QCOMPARE(cell(w.get(), 0, 1), QString("0.000"));
    QCOMPARE(w->Text1->text(), cell(w.get(), w->MSFlexGrid1->Row(), w->MSFlexGrid1->Col()));
    QVERIFY(messages.shown.isEmpty());
}

void TestPointTable::gridThatCannotTakeTheFocus()
{
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    clickCell(w.get(), 1, 2);
    type("9");
    w->MSFlexGrid1->setEnabled(false);
    press(Qt::Key_Tab);
    QCOMPARE(w->panelText(1), QString("Re-enter value for previous cell"));
    QCOMPARE(cell(w.get(), 1, 2), QString("9.000"));
    QVERIFY(w->Text1->isHidden());
    // The status timer clears the message.
    QTRY_COMPARE_WITH_TIMEOUT(w->panelText(1), QString(), 4000);
}

void TestPointTable::pointCountKeepsValues()
{
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    w->selectListText(w->cboSetPoints, "10");
    QCOMPARE(w->MSFlexGrid1->Rows(), 10);
    for (int r = 2; r < 10; ++r) {
        QCOMPARE(cell(w.get(), r, 1), QString());
        w->MSFlexGrid1->setTextMatrix(r, 1, QString::number(r + 1) + ".000");
        w->MSFlexGrid1->setTextMatrix(r, 2, QString::number(r + 1) + "0.000");
    }
    w->cmdExport->setEnabled(false);
    w->selectListText(w->cboSetPoints, "5");
    QCOMPARE(w->MSFlexGrid1->Rows(), 5);
    QVERIFY(w->cmdExport->isEnabled());
    w->selectListText(w->cboSetPoints, "10");
    QCOMPARE(w->MSFlexGrid1->Rows(), 10);
    QCOMPARE(cell(w.get(), 0, 1), QString("4.000"));
    QCOMPARE(cell(w.get(), 1, 2), QString("20.000"));
    for (int r = 2; r < 5; ++r)
        QCOMPARE(cell(w.get(), r, 2), QString::number(r + 1) + "0.000");
    for (int r = 5; r < 10; ++r) {
        QCOMPARE(cell(w.get(), r, 1), QString());
        QCOMPARE(cell(w.get(), r, 2), QString());
    }
    for (int r = 0; r < 10; ++r)
        QCOMPARE(cell(w.get(), r, 0), QString::number(r + 1));
    QCOMPARE(w->MSFlexGrid1->ColWidth(0), 325);
    QCOMPARE(w->MSFlexGrid1->ColWidth(1), 1000);
    QCOMPARE(w->MSFlexGrid1->columnWidth(2), 67); // 1000 twips in whole pixels
    // The same count again: numbers rewritten, values kept.
    w->MSFlexGrid1->setTextMatrix(3, 0, "x");
    w->selectListText(w->cboSetPoints, "10");
    QCOMPARE(cell(w.get(), 3, 0), QString("4"));
    QCOMPARE(cell(w.get(), 3, 1), QString("4.000"));
}

void TestPointTable::clearEmptiesSelectionInAnyDirection()
{
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    FlexGrid* g = w->MSFlexGrid1;
    w->selectListText(w->cboSetPoints, "5");
    for (int r = 0; r < 5; ++r) {
        g->setTextMatrix(r, 1, QString("%1.000").arg(r));
        g->setTextMatrix(r, 2, QString("%1.500").arg(r));
    }
    // Current cell (3, 2), far corner (1, 1): up and to the left.
    clickCell(w.get(), 3, 2);
    clickCell(w.get(), 1, 1, Qt::ShiftModifier);
    QCOMPARE(g->Row(), 3);
    QCOMPARE(g->Col(), 2);
    QCOMPARE(g->RowSel(), 1);
    QCOMPARE(g->ColSel(), 1);
    QVERIFY(!w->cboSetPoints->isEnabled());
    QTest::mouseClick(w->cmdReset, Qt::LeftButton);
    for (int r = 1; r <= 3; ++r) {
        QCOMPARE(cell(w.get(), r, 1), QString());
        QCOMPARE(cell(w.get(), r, 2), QString());
    }
    QCOMPARE(cell(w.get(), 0, 1), QString("0.000"));
    QCOMPARE(cell(w.get(), 4, 2), QString("4.500"));
    QCOMPARE(cell(w.get(), 2, 0), QString("3"));
    QCOMPARE(g->Row(), 3);
    QCOMPARE(g->Col(), 2);
    QCOMPARE(g->RowSel(), 1);
    QCOMPARE(g->ColSel(), 1);
    QCOMPARE(w->Text1->text(), QString());
    QVERIFY(w->Text1->isHidden());
    QVERIFY(w->cboSetPoints->isEnabled());

    // A drag downward and to the right.
    FlexGrid* grid = g;
    const QPoint from = grid->visualRect(grid->model()->index(3, 1)).center();
    const QPoint to = grid->visualRect(grid->model()->index(4, 2)).center();
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, grid->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &move);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, to);
    QCOMPARE(g->RowSel(), 4);
    QCOMPARE(g->ColSel(), 2);
    QTest::mouseClick(w->cmdReset, Qt::LeftButton);
    QCOMPARE(cell(w.get(), 4, 1), QString());
    QCOMPARE(cell(w.get(), 4, 2), QString());
    QCOMPARE(cell(w.get(), 0, 2), QString("0.500"));

    // A single cell, in the first row with nothing selected in the editor.
    clickCell(w.get(), 0, 2);
    QTest::mouseClick(w->cmdReset, Qt::LeftButton);
    QCOMPARE(cell(w.get(), 0, 2), QString());
    QCOMPARE(cell(w.get(), 0, 1), QString("0.000"));
    QVERIFY(w->cboSetPoints->isEnabled());
    QVERIFY(messages.shown.isEmpty());
}

void TestPointTable::pointCountLock()
{
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    QVERIFY(w->cboSetPoints->isEnabled());
    clickCell(w.get(), 0, 1);
    QVERIFY(!w->cboSetPoints->isEnabled());
    QTest::mouseClick(w->cmdReset, Qt::LeftButton);
    QVERIFY(w->cboSetPoints->isEnabled());
    // Clicking the editor locks it too.
    clickCell(w.get(), 1, 1);
    w->cboSetPoints->setEnabled(true);
    QTest::mouseClick(w->Text1, Qt::LeftButton);
    QVERIFY(!w->cboSetPoints->isEnabled());
    QCOMPARE(w->Text1->selectedText(), w->Text1->text());
    // Leaving the list locks it.
    QTest::mouseClick(w->cmdReset, Qt::LeftButton);
    QVERIFY(w->cboSetPoints->isEnabled());
    w->cboSetPoints->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(focused(), static_cast<QWidget*>(w->cboSetPoints));
    press(Qt::Key_Tab);
    QTRY_VERIFY(!w->cboSetPoints->isEnabled());
}

void TestPointTable::inputTypeDefaults()
{
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    FlexGrid* g = w->MSFlexGrid1;
    w->selectListText(w->cboSetPoints, "10");
    for (int r = 2; r < 10; ++r) {
        g->setTextMatrix(r, 1, "7.000");
        g->setTextMatrix(r, 2, "12.345");
    }
    QTest::mouseClick(w->optPulse, Qt::LeftButton);
    QCOMPARE(w->lblInput->text(), QString("Input (Hz)"));
    QCOMPARE(w->lblDisplay->text(), QString("  Display"));
    QCOMPARE(w->cboDecimal->Text(), QString("ddddd.d"));
    QCOMPARE(cell(w.get(), 0, 1), QString("0.0"));
    QCOMPARE(cell(w.get(), 1, 1), QString("10000.0"));
    QCOMPARE(cell(w.get(), 0, 2), QString("0.0"));
    QCOMPARE(cell(w.get(), 1, 2), QString("10000.0"));
    QCOMPARE(cell(w.get(), 2, 2), QString("1234.5"));
    QCOMPARE(cell(w.get(), 2, 1), QString("7.000"));
    QCOMPARE(g->Rows(), 10);

    QTest::mouseClick(w->optVoltage, Qt::LeftButton);
    QCOMPARE(w->lblInput->text(), QString("Input (V)"));
    QCOMPARE(w->cboDecimal->Text(), QString("ddd.ddd"));
    QCOMPARE(cell(w.get(), 0, 1), QString("0.000"));
    QCOMPARE(cell(w.get(), 1, 2), QString("10.000"));
    QCOMPARE(cell(w.get(), 2, 2), QString("12.345"));

    // Current after another format: points 1 and 2 to the defaults, the rest rescaled by their digits.
    QVERIFY(w->selectListText(w->cboDecimal, "dddd.dd"));
    QCOMPARE(cell(w.get(), 3, 2), QString("123.45"));
    QTest::mouseClick(w->optCurrent, Qt::LeftButton);
    QCOMPARE(w->lblInput->text(), QString("Input (mA)"));
    QCOMPARE(w->cboDecimal->Text(), QString("ddd.ddd"));
    QCOMPARE(cell(w.get(), 0, 1), QString("4.000"));
    QCOMPARE(cell(w.get(), 0, 2), QString("4.000"));
    QCOMPARE(cell(w.get(), 1, 1), QString("20.000"));
    QCOMPARE(cell(w.get(), 1, 2), QString("20.000"));
    QCOMPARE(cell(w.get(), 0, 0), QString("1"));
    QCOMPARE(cell(w.get(), 1, 0), QString("2"));
    for (int r = 2; r < 10; ++r) {
        QCOMPARE(cell(w.get(), r, 1), QString("7.000"));
        QCOMPARE(cell(w.get(), r, 2), QString("12.345"));
    }
    // The editor's text follows the current cell.
    QCOMPARE(w->Text1->text(), cell(w.get(), g->Row(), g->Col()));
    QVERIFY(messages.shown.isEmpty());
}

void TestPointTable::decimalPointRescale()
{
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    FlexGrid* g = w->MSFlexGrid1;
    w->selectListText(w->cboSetPoints, "5");
    g->setTextMatrix(2, 2, "-1.500");
    g->setTextMatrix(3, 2, "123.456");
    QVERIFY(w->selectListText(w->cboDecimal, "dddd.dd"));
    QCOMPARE(cell(w.get(), 0, 2), QString("40.00"));
    QCOMPARE(cell(w.get(), 1, 2), QString("200.00"));
    QCOMPARE(cell(w.get(), 2, 2), QString("-15.00"));
    QCOMPARE(cell(w.get(), 4, 2), QString("0.00")); // empty becomes zero
    QCOMPARE(cell(w.get(), 2, 1), QString());        // inputs never change
    QCOMPARE(cell(w.get(), 0, 1), QString("4.000"));
    QVERIFY(w->selectListText(w->cboDecimal, "dddddd"));
    QCOMPARE(cell(w.get(), 1, 2), QString("20000"));
    QVERIFY(w->selectListText(w->cboDecimal, "d.ddddd"));
    QCOMPARE(cell(w.get(), 3, 2), QString("1.23456"));
    g->setTextMatrix(3, 2, "1.5");
    QVERIFY(w->selectListText(w->cboDecimal, "dddddd"));
    QCOMPARE(cell(w.get(), 3, 2), QString("15"));
    // The format already in force: nothing moves, an empty cell stays empty.
    g->setTextMatrix(4, 2, QString());
    QVERIFY(w->selectListText(w->cboDecimal, "dddddd"));
    QCOMPARE(cell(w.get(), 4, 2), QString());
    QCOMPARE(cell(w.get(), 3, 2), QString("15"));

    // Giving the list the focus stores a value being typed, unchecked.
    clickCell(w.get(), 2, 2);
    type("5");
    w->CommitCellEditor();
    QCOMPARE(cell(w.get(), 2, 2), QString("5"));
    clickCell(w.get(), 2, 2);
    type("8");
    w->cboDecimal->setFocus(Qt::TabFocusReason);
    QCOMPARE(cell(w.get(), 2, 2), QString("8"));
    QVERIFY(w->Text1->isHidden());
    QVERIFY(messages.shown.isEmpty());
}

void TestPointTable::sameResultsUnderGermanLocale()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    w->selectListText(w->cboSetPoints, "3");
    enterValue(w.get(), 0, 1, "2.0005");
    QCOMPARE(cell(w.get(), 0, 1), QString("2.001"));
    type("12345.6");
    press(Qt::Key_Return);
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].prompt, QString("Display value must be between -99.999 and 999.999 for selected decimal pt."));
    QCOMPARE(cell(w.get(), 0, 2), QString());
    QTest::mouseClick(w->optPulse, Qt::LeftButton);
    enterValue(w.get(), 2, 1, "1234.56");
    QCOMPARE(cell(w.get(), 2, 1), QString("1234.6"));
    type("99999.9");
    press(Qt::Key_Return);
    QCOMPARE(cell(w.get(), 2, 2), QString("99999.9"));
    QVERIFY(w->selectListText(w->cboDecimal, "dd.dddd"));
    QCOMPARE(cell(w.get(), 2, 2), QString("99.9999"));
    QCOMPARE(cell(w.get(), 1, 2), QString("10.0000"));
    QCOMPARE(messages.shown.size(), 1);
    QLocale::setDefault(saved);
}

QTEST_MAIN(TestPointTable)
#include "test_point_table.moc"
