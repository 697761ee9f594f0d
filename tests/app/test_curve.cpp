// The linearization curve: its model fed with point tables, and the window opened and
// fed by typing into the real main window.
#include <QApplication>
#include <QPushButton>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>

#include "app/CurveWindow.h"
#include "app/WindowPlacement.h"
#include "record/CurvePaint.h"
#include "common/TestWindow.h"
#include "app/CellEditor.h"
#include "app/FlexGrid.h"

namespace {
// "4.000=4;=8" -> two rows, the second without an input value.
QList<PointRow> rowsOf(const QString& table)
{
    QList<PointRow> rows;
    for (const QString& pair : table.split(';'))
        rows.append({pair.section('=', 0, 0), pair.section('=', 1)});
    return rows;
}
int decimalsOf(const QString& label) { return label.contains('.') ? int(label.section('.', 1).size()) : 0; }
} // namespace

class TestCurve : public QObject {
    Q_OBJECT
private slots:
    void model_data();
    void model();
    void windowFollowsTheTable();
    void placedBeside_data();
    void placedBeside();
};

void TestCurve::model_data()
{
    QTest::addColumn<InputKind>("type"); // empty: none selected
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("broken");
    QTest::addColumn<QString>("text"); // the lines, joined by "|", begin so
    QTest::addColumn<int>("drawn");
    QTest::addColumn<QString>("decimals"); // of the tick labels: input/display
    const InputKind V = InputType::Voltage, I = InputType::Current, P = InputType::Pulse, none;
    QTest::newRow("rising") << I << "ddd.ddd" << "4=0;8=25;12=50;20=100" << 0 << "Table OK, 4 points" << 4 << "3/3";
    QTest::newRow("equal inputs") << V << "ddd.ddd" << "1=1;1.000=2;2=3" << 2 << "point 2: Check Input Values" << 3 << "3/3";
    QTest::newRow("equal before range") << P << "ddddd.d" << "40000=1;40000=2" << 2 << "point 2: Check Input Values" << 2 << "1/1";
    QTest::newRow("span voltage") << V << "ddd.ddd" << "1=0;1.05=1" << 2 << "point 2: The minimum input span for Voltage" << 2 << "3/3";
    QTest::newRow("span current") << I << "dddd.dd" << "4=0;10=1;10.1=2" << 3 << "point 3: The minimum input span for Current" << 3 << "3/2";
    QTest::newRow("span pulse") << P << "dddddd" << "0=0;9=5" << 2 << "point 2: The minimum input span for Pulse" << 2 << "1/0";
    QTest::newRow("out of range") << V << "ddd.ddd" << "0=0;5=1;10.001=2" << 3 << "point 3: Input values for Voltage must" << 3 << "3/3";
    QTest::newRow("first below range") << I << "ddd.ddd" << "-1=0;4=1" << 1 << "point 1: Input values for Current must" << 2 << "3/3";
    QTest::newRow("empty cells") << I << "ddd.ddd" << "4=4;=8;12=;20=20" << 0
                                 << "Point 2 has no input value (1 more incomplete)" << 2 << "3/3";
    QTest::newRow("broken while incomplete") << V << "ddd.ddd" << "5=0;3=1;=" << 2
                                             << "Point 3 has no values|point 2: Check Input Values" << 2 << "3/3";
    QTest::newRow("negative display") << V << "dd.dddd" << "-10=-5.0000;0=-.5000;10=5" << 0 << "Table OK, 3 points" << 3 << "3/4";
    QTest::newRow("flat display") << V << "d.ddddd" << "0=7;10=7" << 0 << "Table OK" << 2 << "3/5";
    QTest::newRow("2 points") << P << "ddddd.d" << "0=0;30000=30000" << 0 << "Table OK, 2 points" << 2 << "1/1";
    QTest::newRow("no type") << none << "ddd.ddd" << "1=1;2=2" << 0 << "Table OK" << 2 << "3/3";
    QStringList many;
    for (int p = 0; p < 32; ++p)
        many << QStringLiteral("%1.0=%2").arg(p * 900).arg(p * p);
    QTest::newRow("32 points") << P << "dddddd" << many.join(';') << 0 << "Table OK, 32 points" << 32 << "1/0";
}

void TestCurve::model()
{
    QFETCH(InputKind, type);
    QFETCH(QString, format);
    QFETCH(QString, table);
    CurveModel m;
    m.update(rowsOf(table), type, format, "Input (V)", CurvePaint::tableCheckRule(type));
    QTEST(m.brokenPoint(), "broken");
    QFETCH(QString, text);
    QVERIFY2(m.text().join('|').startsWith(text), qPrintable(m.text().join('|')));
    QTEST(int(m.points().size()), "drawn");
    // Every point lies on the axes; ticks are few, evenly spaced, distinct and written
    // with the table's decimals.
    for (const CurveModel::Axis& axis : {m.xAxis(), m.yAxis()}) {
        QVERIFY(axis.ticks.size() >= 3 && axis.ticks.size() <= 12);
        QCOMPARE(axis.ticks.first(), axis.low);
        QCOMPARE(axis.ticks.last(), axis.high);
        QStringList labels;
        for (int i = 0; i < axis.ticks.size(); ++i) {
            if (i > 1)
                QVERIFY(qAbs(axis.ticks[i] - 2 * axis.ticks[i - 1] + axis.ticks[i - 2]) < 1e-9 * (axis.high - axis.low));
            labels << axis.label(axis.ticks[i]);
        }
        QCOMPARE(labels.removeDuplicates(), 0);
    }
    QTEST(QString("%1/%2").arg(decimalsOf(m.xAxis().label(m.xAxis().ticks[1])))
              .arg(decimalsOf(m.yAxis().label(m.yAxis().ticks[1]))), "decimals");
    for (const CurveModel::Point& p : m.points()) {
        QVERIFY(p.input >= m.xAxis().low && p.input <= m.xAxis().high);
        QVERIFY(p.display >= m.yAxis().low && p.display <= m.yAxis().high);
    }
}

void TestCurve::windowFollowsTheTable()
{
    MessageRecorder messages;
    DialogRecorder dialogs;
    auto w = openWindow();
    QVERIFY(w);
    // Point 2's input cell, opened in the editor with its text selected.
    const QRect cell = w->MSFlexGrid1->visualRect(w->MSFlexGrid1->model()->index(1, 1));
    QTest::mouseClick(w->MSFlexGrid1->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->Text1));

    QTest::keyClick(w->Text1, Qt::Key_L, Qt::ControlModifier);
    auto* curve = w->findChild<CurveWindow*>();
    QVERIFY(curve && curve->isVisible());
    QCOMPARE(curve->model().text(), QStringList{"Table OK, 2 points"});
    QCOMPARE(curve->model().xAxis().title, QString("Input (mA)"));

    // Point 2 below point 1: red at once, with Program Meter's message.
    QTest::keyClick(w->Text1, '3');
    QTest::keyClick(w->Text1, Qt::Key_Return);
    QCOMPARE(w->MSFlexGrid1->TextMatrix(1, 1), QString("3.000"));
    QTRY_COMPARE(curve->model().brokenPoint(), 2);
    QVERIFY(curve->model().text().value(0).startsWith("point 2: Check Input Values"));
    QVERIFY(messages.shown.isEmpty());

    QTemporaryDir dir;
    curve->resize(517, 389);
    QTRY_VERIFY(curve->plot()->width() > 400);
    dialogs.paths << dir.filePath("report") << dir.filePath("report.svg");
    auto* save = curve->findChild<QPushButton*>("cmdSaveImage");
    QTest::mouseClick(save, Qt::LeftButton);
    QTest::mouseClick(save, Qt::LeftButton);
    QCOMPARE(QImage(dir.filePath("report.png")).size(), curve->plot()->size());
    QCOMPARE(QSvgRenderer(dir.filePath("report.svg")).viewBox().size(), curve->plot()->size());
}

// Beside the main window where the screen has room; else nowhere on the screen covers less
// of the table, then of the main window. Frames as a window manager adds them.
void TestCurve::placedBeside_data()
{
    QTest::addColumn<QRect>("main");
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<QPoint>("at"); // expected top left; (-1, -1): wherever covers least
    const QSize curve(622, 505);   // 620 x 480 under a 24-pixel title bar
    QTest::newRow("room on the right") << QRect(0, 0, 720, 520) << QRect(0, 0, 1920, 1080) << curve << QPoint(728, 0);
    QTest::newRow("room on the left") << QRect(1200, 40, 720, 520) << QRect(0, 0, 1920, 1080) << curve << QPoint(570, 40);
    QTest::newRow("1280 x 1080: below") << QRect(0, 0, 720, 520) << QRect(0, 0, 1280, 1080) << curve << QPoint(0, 528);
    QTest::newRow("1280 x 800, window centred") << QRect(280, 140, 720, 520) << QRect(0, 0, 1280, 800) << curve << QPoint(-1, -1);
    QTest::newRow("1280 x 800 under a panel") << QRect(10, 40, 720, 520) << QRect(0, 30, 1280, 770) << curve << QPoint(-1, -1);
    QTest::newRow("1024 x 768") << QRect(0, 0, 720, 520) << QRect(0, 0, 1024, 768) << curve << QPoint(-1, -1);
    QTest::newRow("second screen to the right") << QRect(1940, 0, 720, 500) << QRect(1920, 0, 1280, 1024) << curve << QPoint(1940, 508);
    QTest::newRow("frame as large as the screen") << QRect(0, 0, 720, 520) << QRect(0, 0, 800, 600) << QSize(800, 600) << QPoint(0, 0);
}

void TestCurve::placedBeside()
{
    QFETCH(QRect, main);
    QFETCH(QRect, screen);
    QFETCH(QSize, frame);
    QFETCH(QPoint, at);
    // The table block of the main window (its right part, as in the window).
    const QRect table(main.left() + 368, main.top() + 105, 321, 257);
    const QRect placed(WindowPlacement::place(main, table, frame, screen), frame);
    QVERIFY2(screen.contains(placed), qPrintable(QStringLiteral("%1,%2").arg(placed.x()).arg(placed.y())));
    if (at != QPoint(-1, -1))
        QCOMPARE(placed.topLeft(), at);
    WindowPlacement::Cover least = WindowPlacement::cover(main, table, placed);
    for (int x = screen.left(); x + frame.width() <= screen.right() + 1; ++x)
        for (int y = screen.top(); y + frame.height() <= screen.bottom() + 1; ++y)
            least = std::min(least, WindowPlacement::cover(main, table, QRect(QPoint(x, y), frame)));
    QCOMPARE(WindowPlacement::cover(main, table, placed), least);
}

QTEST_MAIN(TestCurve)
#include "test_curve.moc"
