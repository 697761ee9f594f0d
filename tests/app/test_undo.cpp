// Undo and Redo of the table's changes, driven through the real window: each kind of
// change made as a user makes it, then Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y to whatever has
// the focus, with the whole table compared.
#include <QClipboard>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QUndoStack>

#include "app/PickList.h"
#include "common/TestWindow.h"
#include "files/SettingsFile.h"
#include "spreadsheet/Workbook.h"
#include "app/CellEditor.h"
#include "app/FlexGrid.h"

namespace {
// Input type, format, point count, the list's lock, address, baud rate, then every point "input:display".
QString tableOf(frmMain* w)
{
    QStringList parts{w->optVoltage->isChecked() ? "V" : w->optCurrent->isChecked() ? "I" : w->optPulse->isChecked() ? "P" : "-",
                      w->cboDecimal->Text(), w->cboSetPoints->Text(), w->cboSetPoints->isEnabled() ? "open" : "locked",
                      w->cboAddress->Text(), w->cboBaudRate->Text()};
    for (int r = 0; r < w->MSFlexGrid1->Rows(); ++r)
        parts << w->MSFlexGrid1->TextMatrix(r, 1) + ':' + w->MSFlexGrid1->TextMatrix(r, 2);
    return parts.join(' ');
}
void clickCell(frmMain* w, int row, int col, Qt::KeyboardModifiers mods = {})
{
    const QModelIndex idx = w->MSFlexGrid1->model()->index(row, col);
    w->MSFlexGrid1->scrollTo(idx);
    QTest::mouseClick(w->MSFlexGrid1->viewport(), Qt::LeftButton, mods, w->MSFlexGrid1->visualRect(idx).center());
}
void keyToFocus(Qt::Key key, Qt::KeyboardModifiers mods)
{
    QWidget* target = QApplication::focusWidget();
    QVERIFY(target);
    QTest::keyClick(target, key, mods);
}
} // namespace

class TestUndo : public QObject {
    Q_OBJECT
private slots:
    void eachChangeUndoneAndRedone_data();
    void eachChangeUndoneAndRedone();
};

void TestUndo::eachChangeUndoneAndRedone_data()
{
    QTest::addColumn<QString>("change");
    for (const char* change : {"Clear", "Paste", "Import", "Fit Points", "Decimal Point", "Input Type", "No. of Points", "Delete", "Open Settings"})
        QTest::newRow(change) << change; // also the Undo entry's name
}

void TestUndo::eachChangeUndoneAndRedone()
{
    QFETCH(QString, change);
    MessageRecorder messages;
    DialogRecorder dialogs;
    QTemporaryDir dir;
    auto w = openWindow();
    QVERIFY(w);
    // Four Voltage points with values of their own, the list locked as after typing.
    w->optVoltage->click();
    w->selectListText(w->cboSetPoints, "4");
    const char* values[4][2] = {{"0.000", "1.000"}, {"2.500", "3.250"}, {"5.000", "-7.125"}, {"9.000", "12.000"}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 2; ++c)
            w->MSFlexGrid1->setTextMatrix(r, c + 1, values[r][c]);
    w->document()->setCountUnlocked(false);
    w->undoStack()->clear();
    QString before = tableOf(w.get());

    if (change == "Clear") {
        clickCell(w.get(), 1, 1);
        clickCell(w.get(), 2, 2, Qt::ShiftModifier);
        QTest::mouseClick(w->cmdReset, Qt::LeftButton);
    } else if (change == "Paste") {
        QGuiApplication::clipboard()->setText("1\t2\n3\t4\n");
        clickCell(w.get(), 2, 1);
        QTest::keyClick(w->Text1, Qt::Key_V, Qt::ControlModifier);
    } else if (change == "Import") {
        Spreadsheet::Application app;
        app.Add();
        Spreadsheet::Sheet& sheet = app.ActiveWorkbook()->ActiveSheet();
        sheet.Select("A1");
        sheet.setNumberFormat("B1:B32", "0.00");
        sheet.Paste("1\t10\r2\t20\r3\t30\r4\t40");
        QString error;
        QVERIFY2(app.SaveCopyAs(dir.filePath("in.xlsx"), &error), qPrintable(error));
        dialogs.paths << dir.filePath("in.xlsx");
        QTest::mouseClick(w->cmdImport, Qt::LeftButton);
    } else if (change == "Fit Points") {
        messages.answers << vbYes; // replace the values
        QVERIFY(w->useTable({InputType::Current, "dddd.dd", {{"4.000", "0.00"}, {"12.000", "50.00"}, {"20.000", "100.00"}}}, change));
    } else if (change == "Decimal Point") {
        w->cboDecimal->setFocus();
        QTest::keyClick(w->cboDecimal, Qt::Key_Down);
    } else if (change == "Input Type") {
        QTest::mouseClick(w->optPulse, Qt::LeftButton);
    } else if (change == "No. of Points") {
        w->document()->setCountUnlocked(true); // as after Clear
        before = tableOf(w.get());
        w->cboSetPoints->setFocus();
        QTest::keyClick(w->cboSetPoints, Qt::Key_Up);
    } else if (change == "Delete") {
        w->MSFlexGrid1->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(w->MSFlexGrid1, Qt::Key_Delete);
    } else if (change == "Open Settings") {
        SettingsValues values{"dddddd", "017", "1", "9600", "6", false, true};
        QString why;
        QVERIFY2(SettingsFile::Save(dir.filePath("s.txt"), values, &why), qPrintable(why));
        QVERIFY(w->openSettingsFile(dir.filePath("s.txt")));
    }
    const QString after = tableOf(w.get());
    QVERIFY2(after != before, qPrintable(after));
    QCOMPARE(w->undoStack()->count(), 1);
    QCOMPARE(w->mnuUndo->text(), "Undo " + change);
    QCOMPARE(w->mnuUndo->isEnabled(), true);

    keyToFocus(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(tableOf(w.get()), before);
    keyToFocus(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(tableOf(w.get()), after);
    w->mnuUndo->trigger();
    QCOMPARE(tableOf(w.get()), before);
    QCOMPARE(w->mnuRedo->text(), "Redo " + change);
    keyToFocus(Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(tableOf(w.get()), after);
    QVERIFY(!w->mnuRedo->isEnabled());
}

QTEST_MAIN(TestUndo)
#include "test_undo.moc"
