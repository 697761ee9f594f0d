// Fit Points in the window: the dialog opened from the Tools menu, its preview against the
// fitting library, Use filling the real grid, the question before replacing values, and the
// source drawn in the curve window until the table is edited; Return in its fields, its
// size and its colours.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QSpinBox>
#include <QThreadPool>
#include <QTemporaryDir>
#include <QTest>

#include "app/CurveWindow.h"
#include "app/FitDialog.h"
#include "app/PickList.h"
#include "common/TestWindow.h"
#include "app/CellEditor.h"
#include "app/FlexGrid.h"
#include "table/ValueRules.h"

namespace {
void typeInto(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

FitDialog* openDialog(frmMain* w)
{
    w->mnuFitPoints->trigger();
    auto* dialog = w->findChild<FitDialog*>();
    if (dialog && !QTest::qWaitFor([&] { return !dialog->running(); }, 60000))
        return nullptr;
    return dialog;
}

// Types into point 2's cell of the grid.
void editPoint2(frmMain* w, const QString& text)
{
    const QRect cell = w->MSFlexGrid1->visualRect(w->MSFlexGrid1->model()->index(1, 1));
    QTest::mouseClick(w->MSFlexGrid1->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::keyClicks(w->Text1, text);
    QTest::keyClick(w->Text1, Qt::Key_Return);
}
} // namespace

class TestFitDialog : public QObject {
    Q_OBJECT
private slots:
    void useShape_data();
    void useShape();
    void askBeforeReplacing_data();
    void askBeforeReplacing();
    void dataFile_data();
    void dataFile();
    void returnInFields();
    void layoutAndColours_data();
    void layoutAndColours();
};

void TestFitDialog::useShape_data()
{
    QTest::addColumn<QString>("source"); // caption in the source list
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<InputType>("type");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("display");
    QTest::addColumn<int>("points");
    QTest::addColumn<bool>("onCurve");
    const InputType V = InputType::Voltage, I = InputType::Current, P = InputType::Pulse;
    QTest::newRow("cylinder 4-20 mA") << "Horizontal cylinder" << "" << I << "ddd.ddd" << "4:20" << "0:100" << 11 << false;
    QTest::newRow("sqrt on the curve") << "Square root" << "" << V << "dddd.dd" << "0:2" << "0:50" << 6 << true;
    QTest::newRow("weir in Hz") << "Power law" << "2.5" << P << "dddddd" << "0:10000" << "0:900" << 9 << false;
}

void TestFitDialog::useShape()
{
    QFETCH(QString, source);
    QFETCH(QString, parameter);
    QFETCH(InputType, type);
    QFETCH(QString, format);
    QFETCH(int, points);
    QFETCH(bool, onCurve);
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    QPointer<FitDialog> d = openDialog(w.get());
    QVERIFY(d);
    QCOMPARE(d->cboFormat->currentText(), w->cboDecimal->Text()); // the window's own by default
    d->cboType->setCurrentIndex(d->cboType->findText(MeterRules::inputLimits(type).name));
    d->cboFormat->setCurrentIndex(d->cboFormat->findText(format));
    d->cboSource->setCurrentIndex(d->cboSource->findText(source));
    if (!parameter.isEmpty())
        typeInto(d->txtParameter, parameter);
    QFETCH(QString, input);
    QFETCH(QString, display);
    typeInto(d->txtInput, input);
    typeInto(d->txtDisplay, display);
    d->spnPoints->setValue(points);
    d->cboPlacement->setCurrentIndex(onCurve ? 1 : 0);
    QTRY_VERIFY_WITH_TIMEOUT(!d->running(), 60000);

    Fitting::Request q;
    q.shape = Fitting::parseShape(d->cboSource->currentData().toString() + (parameter.isEmpty() ? "" : ":" + parameter));
    q.input = Fitting::parseRange(input);
    q.display = Fitting::parseRange(display);
    q.type = type;
    q.format = format;
    q.points = points;
    q.placement = onCurve ? Fitting::Placement::OnData : Fitting::Placement::LeastError;
    const Fitting::Result r = Fitting::fit(q);
    QCOMPARE(r.status, Fitting::Status::Fitted);
    QCOMPARE(d->fitted().table.size(), points);
    const QString figures = d->lblFigures->text();
    QVERIFY2(figures.contains(QString::number(r.maxError, 'f', ValueRules::formatDecimals(format) + 2)), qPrintable(figures));
    QVERIFY2(figures.contains(QString::number(r.maxErrorPercent, 'f', 3) + " % of span"), qPrintable(figures));
    QVERIFY(d->lblMessage->text().isEmpty());
    QVERIFY(d->cmdUse->isEnabled());

    QTest::mouseClick(d->cmdUse, Qt::LeftButton);
    QTRY_VERIFY(!d || !d->isVisible());
    QVERIFY2(messages.shown.isEmpty(), qPrintable(messages.prompts().join('|'))); // defaults only: nothing to ask
    QCOMPARE(w->cboSetPoints->Text(), QString::number(points));
    QCOMPARE(w->cboDecimal->Text(), format);
    QCOMPARE(w->selectedInputType(), std::optional(type));
    QCOMPARE(w->MSFlexGrid1->Rows(), points);
    const int inDecimals = MeterRules::inputLimits(type).decimals, outDecimals = ValueRules::formatDecimals(format);
    const QRegularExpression inForm(QString("^-?\\d*\\.\\d{%1}$").arg(inDecimals));
    for (int i = 0; i < points; ++i) {
        const QString in = w->MSFlexGrid1->TextMatrix(i, 1), out = w->MSFlexGrid1->TextMatrix(i, 2);
        QCOMPARE(in, r.table[i].input);
        QCOMPARE(out, r.table[i].display);
        QVERIFY2(inForm.match(in).hasMatch(), qPrintable(in));
        QCOMPARE(out.contains('.'), outDecimals > 0);
    }

    // The curve window shows the source behind the table until a cell is edited.
    w->mnuCurve->trigger();
    auto* curve = w->findChild<CurveWindow*>();
    QVERIFY(curve);
    QTRY_COMPARE(curve->plot()->source().size(), qsizetype(r.source.size()));
    QCOMPARE(curve->plot()->source().front().x(), q.input->low);
    QCOMPARE(curve->plot()->source().back().y(), q.display->high);
    QVERIFY(curve->model().tableOk());
    editPoint2(w.get(), QString::number(r.table[1].inputValue + 0.5));
    QTRY_VERIFY(curve->plot()->source().isEmpty());
}

void TestFitDialog::askBeforeReplacing_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("no keeps the table") << int(vbNo);
    QTest::newRow("yes replaces it") << int(vbYes);
}

void TestFitDialog::askBeforeReplacing()
{
    QFETCH(int, answer);
    MessageRecorder messages;
    auto w = openWindow();
    QVERIFY(w);
    editPoint2(w.get(), "12");
    QCOMPARE(w->MSFlexGrid1->TextMatrix(1, 1), QString("12.000"));
    QPointer<FitDialog> d = openDialog(w.get());
    QVERIFY(d && d->cmdUse->isEnabled());
    messages.answers << answer;
    QTest::mouseClick(d->cmdUse, Qt::LeftButton);
    QCOMPARE(messages.shown.size(), 1);
    QCOMPARE(messages.shown[0].style, vbYesNo | vbQuestion);
    const bool replaced = answer == vbYes;
    QCOMPARE(w->MSFlexGrid1->Rows(), replaced ? 11 : 2);
    QCOMPARE(w->MSFlexGrid1->TextMatrix(1, 1), replaced ? d->fitted().table[1].input : QString("12.000"));
    QTRY_COMPARE(d && d->isVisible(), !replaced); // No leaves the dialog open to try again
}

void TestFitDialog::dataFile_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("maxError"); // "" for 11 points
    QTest::addColumn<QString>("message");  // what the dialog says; "" for nothing
    QTest::addColumn<int>("points");       // of the table shown, 0 for none
    QByteArray chart = "level cm;litres\n";
    for (int i = 0; i <= 200; ++i)
        chart += QByteArray::number(i) + ';' + QByteArray::number(900.0 * (i / 200.0) * (i / 200.0), 'f', 3) + '\n';
    QTest::newRow("tank chart") << chart << "" << "" << 11;
    QTest::newRow("fewest points") << chart << "0.5" << "" << -1;
    QTest::newRow("target not met") << chart << "0.000001" << "32 points cannot reach" << 32;
    QTest::newRow("bad row") << QByteArray("cm,l\n0,0\n1,5\nx,7\n") << "" << "row 4" << 0;
    QTest::newRow("falling input") << QByteArray("0,0\n2,5\n1,7\n") << "" << "row 3" << 0;
}

void TestFitDialog::dataFile()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, maxError);
    QFETCH(int, points);
    QTemporaryDir dir;
    QFile file(dir.filePath("chart.csv"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(data) == data.size());
    file.close();
    MessageRecorder messages;
    DialogRecorder dialogs;
    auto w = openWindow();
    QVERIFY(w);
    QPointer<FitDialog> d = openDialog(w.get());
    QVERIFY(d);
    typeInto(d->txtInput, "4:20");
    d->cboSource->setCurrentIndex(d->cboSource->findText("Data file"));
    QTRY_VERIFY_WITH_TIMEOUT(!d->running(), 60000);
    QVERIFY(!d->cmdUse->isEnabled()); // no file yet
    dialogs.paths << file.fileName();
    QTest::mouseClick(d->cmdBrowse, Qt::LeftButton);
    QCOMPARE(d->txtInput->text(), QString("4:20")); // the range typed stays
    if (!maxError.isEmpty()) {
        QTest::mouseClick(d->optMaxError, Qt::LeftButton);
        typeInto(d->txtMaxError, maxError);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!d->running(), 60000);
    QFETCH(QString, message);
    QVERIFY2(d->lblMessage->text().contains(message), qPrintable(d->lblMessage->text()));
    QCOMPARE(d->lblMessage->text().isEmpty(), message.isEmpty());
    QCOMPARE(d->cmdUse->isEnabled(), points != 0);
    if (points > 0)
        QCOMPARE(d->fitted().table.size(), points);
    if (points < 0) // the fewest points that reach the target
        QVERIFY(d->fitted().maxError <= maxError.toDouble() && d->fitted().table.size() < 32);
    if (points != 0) {
        QCOMPARE(d->fitted().table.first().input, QString("4.000"));
        QCOMPARE(d->fitted().table.last().input, QString("20.000"));
    }
}

// Return in a field refits with what it holds and presses no button: the file browser stays
// shut. The span and the end mode reach the request.
void TestFitDialog::returnInFields()
{
    QTemporaryDir dir;
    QFile file(dir.filePath("chart.csv"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int i = 0; i <= 240; ++i)
        file.write(QByteArray::number(i) + ';' + QByteArray::number(i * i / 10.0, 'f', 1).replace('.', ',') + '\n');
    file.close();
    DialogRecorder dialogs;
    auto w = openWindow();
    QVERIFY(w);
    QPointer<FitDialog> d = openDialog(w.get());
    QVERIFY(d);
    d->cboSource->setCurrentIndex(d->cboSource->findText("Data file"));
    d->cboFormat->setCurrentIndex(d->cboFormat->findText("ddddd.d"));
    dialogs.paths << file.fileName();
    QTest::mouseClick(d->cmdBrowse, Qt::LeftButton);
    QCOMPARE(dialogs.filters.size(), 1);
    d->chkEndsOnSource->click();
    for (QLineEdit* edit : {d->txtSpan, d->txtInput, d->txtMaxError}) {
        d->activateWindow();
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        typeInto(edit, edit == d->txtSpan ? "10:230" : edit == d->txtInput ? "4:20" : "2");
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClick(edit, Qt::Key_Enter);
        QVERIFY(d->isVisible());
        QCOMPARE(dialogs.filters.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!d->running(), 60000);
    }
    QCOMPARE(d->fittedRequest().span->low, 10.0);
    QCOMPARE(d->fittedRequest().input->high, 20.0);
    QVERIFY(d->fittedRequest().freeEnds);
    QVERIFY2(d->lblFigures->text().contains("ends free"), qPrintable(d->lblFigures->text() + d->lblMessage->text()));
    QCOMPARE(d->fitted().source.front().value, 10.0); // the chart at 10 cm
    QCOMPARE(d->fitted().source.back().value, 5290.0); // and at 230 cm
    d->cboPlacement->setCurrentIndex(1);
    QVERIFY(!d->chkEndsOnSource->isEnabled()); // on the data the ends are on it
}

// The dialog fits a 1280 x 800 screen with every caption whole, under a light and a dark
// palette, and the preview's marks stand at least 3:1 against its background.
void TestFitDialog::layoutAndColours_data()
{
    QTest::addColumn<QPalette>("palette");
    QTest::newRow("light") << QPalette(Qt::black, QColor(0xEF, 0xEF, 0xEF), Qt::white, Qt::darkGray, Qt::gray, Qt::black, Qt::white);
    QPalette dark(QColor(0xEE, 0xEE, 0xEE), QColor(0x2D, 0x2D, 0x30), QColor(0x50, 0x50, 0x50), QColor(0x10, 0x10, 0x10),
                  QColor(0x40, 0x40, 0x40), QColor(0xF0, 0xF0, 0xF0), QColor(0x1E, 0x1E, 0x1E));
    dark.setColor(QPalette::Highlight, QColor(0x1D, 0x3A, 0x66)); // too dark to mark on Base as it stands
    QTest::newRow("dark") << dark;
}

void TestFitDialog::layoutAndColours()
{
    QFETCH(QPalette, palette);
    const QPalette before = QApplication::palette();
    QApplication::setPalette(palette);
    auto w = openWindow();
    QVERIFY(w);
    QPointer<FitDialog> d = openDialog(w.get());
    QVERIFY(d);
    for (int i = 0; i < d->cboSource->count(); ++i) { // the widest captions and parameters
        d->cboSource->setCurrentIndex(i);
        QVERIFY(d->cboSource->width() >= d->cboSource->sizeHint().width());
    }
    QTRY_VERIFY_WITH_TIMEOUT(!d->running(), 60000);
    QVERIFY2(d->frameGeometry().width() <= 1280 && d->frameGeometry().height() <= 800 - 40,
             qPrintable(QString("%1 x %2").arg(d->frameGeometry().width()).arg(d->frameGeometry().height())));
    for (QWidget* caption : d->findChildren<QWidget*>())
        if ((qobject_cast<QLabel*>(caption) && !static_cast<QLabel*>(caption)->wordWrap()) || qobject_cast<QAbstractButton*>(caption))
            QVERIFY2(!caption->isVisible() || caption->width() >= caption->sizeHint().width(),
                     qPrintable(caption->objectName() + ": " + caption->property("text").toString()));
    const FitPreview::Colours marks = FitPreview::colours(d->preview->palette());
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double base = luminance(d->preview->palette().color(QPalette::Base));
    for (const QColor& c : {marks.table, marks.error, marks.max})
        QVERIFY2((std::max(base, luminance(c)) + 0.05) / (std::min(base, luminance(c)) + 0.05) >= 3, qPrintable(c.name()));

    // Cancel during a run closes the dialog at once; the run's result is dropped.
    d->spnPoints->setValue(32);
    QCoreApplication::processEvents(); // the run starts
    QVERIFY(d->running());
    QSignalSpy shown(d.data(), &FitDialog::resultShown);
    QTest::mouseClick(d->cmdCancel, Qt::LeftButton);
    QVERIFY(!d->isVisible() && !d->running());
    QVERIFY(QThreadPool::globalInstance()->waitForDone(60000));
    QCoreApplication::processEvents();
    QCOMPARE(shown.count(), 0);
    QApplication::setPalette(before);
}

QTEST_MAIN(TestFitDialog)
#include "test_fit_dialog.moc"
