// The window on a desktop: readable under a dark palette, every control named for assistive
// tools, and German under a German locale.
#include <QAccessible>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>

#include "app/PickList.h"
#include "record/RunRecorder.h"
#include "app/Translations.h"
#include "common/TestWindow.h"
#include "programming/RunRecord.h"
#include "app/CellEditor.h"
#include "app/FlexGrid.h"

namespace {
double luminance(QRgb c)
{
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}
double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
// The best contrast between the commonest colour of a control's text area (its background)
// and any other pixel there (the core of its glyphs).
double textContrast(QWidget* w, const QRect& area)
{
    // As the window shows it: a control without a background of its own shows its parent's.
    const QImage image = w->window()->grab(QRect(w->mapTo(w->window(), area.topLeft()), area.size())).toImage().convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb background = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(background))
            background = it.key();
    double best = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, contrast(background, it.key()));
    return best;
}
QPalette darkPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x2D, 0x2D, 0x30));
    p.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
    p.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
    p.setColor(QPalette::AlternateBase, QColor(0x2A, 0x2A, 0x2A));
    p.setColor(QPalette::Text, QColor(0xF0, 0xF0, 0xF0));
    p.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3D));
    p.setColor(QPalette::ButtonText, QColor(0xFA, 0xFA, 0xFA));
    p.setColor(QPalette::Highlight, QColor(0x3D, 0x7A, 0xD6));
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}
} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QApplication::setStyle(QStyleFactory::create("Fusion"));
        QApplication::setPalette(darkPalette());
    }

    // Every control with a fixed background, and the texts drawn on the window's fixed grey;
    // the input-type options' discs; the curve window.
    void readableUnderDarkPalette_data()
    {
        QTest::addColumn<QString>("control");
        for (const char* name : {"cmdReset", "cmdProgramMeter", "cboDecimal", "cboSetPoints", "Label4", "Label3",
                                 "Label1", "optVoltage", "Frame2", "lblTitle", "curvePlot", "cmdSaveImage"})
            QTest::newRow(name) << name;
        QTest::newRow("optVoltage disc") << "optVoltage disc";
        QTest::newRow("optCurrent disc, selected") << "optCurrent disc";
    }
    void readableUnderDarkPalette()
    {
        QFETCH(QString, control);
        MessageRecorder messages;
        auto w = openWindow();
        QVERIFY(w);
        w->selectListText(w->cboDecimal, "ddd.ddd");
        w->selectListText(w->cboSetPoints, "5");
        w->mnuCurve->trigger();
        auto* c = w->findChild<QWidget*>(control.section(' ', 0, 0));
        QVERIFY(c);
        QTRY_VERIFY(c->isVisible());
        if (control.endsWith(" disc")) {
            // The ring against the panel, and the selected option's dot against the disc.
            QStyleOptionButton option;
            option.initFrom(c);
            const QRect disc = c->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, c);
            const QImage image = c->window()->grab(QRect(c->mapTo(c->window(), QPoint()), c->size())).toImage().convertToFormat(QImage::Format_RGB32);
            const QRgb panel = image.pixel(image.width() - 1, image.height() - 1);
            const QPoint m = disc.center();
            double ring = 1;
            for (int x = disc.left(); x <= m.x() - disc.width() / 4; ++x)
                ring = std::max(ring, contrast(panel, image.pixel(x, m.y())));
            QVERIFY2(ring >= 3, qPrintable(QStringLiteral("ring %1").arg(ring)));
            if (static_cast<QRadioButton*>(c)->isChecked()) {
                const double dot = contrast(image.pixel(m), image.pixel(m.x() + int(disc.width() * 0.35), m.y()));
                QVERIFY2(dot >= 3, qPrintable(QStringLiteral("dot %1").arg(dot)));
            }
            return;
        }
        QRect area = c->rect().adjusted(3, 3, -3, -3);
        if (qobject_cast<QComboBox*>(c))
            area.setRight(area.width() / 2); // the text, not the arrow
        if (qobject_cast<QRadioButton*>(c))
            area.setLeft(c->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) + 6); // the caption, not the dot
        if (qobject_cast<QGroupBox*>(c))
            area.setHeight(c->fontMetrics().height()); // the title
        const double ratio = textContrast(c, area);
        QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("contrast %1").arg(ratio)));
    }

    // Tabbing into the grid opens the first point's input cell for typing.
    void keyboardIntoTheGrid()
    {
        MessageRecorder messages;
        auto w = openWindow();
        QVERIFY(w);
        w->cboBaudRate->setFocus(Qt::TabFocusReason);
        QTest::keyClick(w->cboBaudRate, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->Text1));
        QTest::keyClicks(w->Text1, "7");
        QTest::keyClick(w->Text1, Qt::Key_Return);
        QCOMPARE(w->MSFlexGrid1->TextMatrix(0, 1), QString("7.000"));
        QVERIFY(messages.shown.isEmpty());
    }

    // A status text longer than its panel is shown whole or elided with the whole text in
    // its tooltip; no panel runs under the window's edge.
    void statusTextsNeverCut_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("short") << "Error Detected";
        QTest::newRow("paste") << "2 pasted rows beyond the last point ignored";
        QTest::newRow("long path") << "File: - [/home/technician/calibration/line 7/meter 12 settings (copy).txt]";
    }
    void statusTextsNeverCut()
    {
        QFETCH(QString, text);
        MessageRecorder messages;
        auto w = openWindow();
        QVERIFY(w);
        w->setPanelText(1, text);
        QCOMPARE(w->panelText(1), text);
        auto* panel = w->findChild<QLabel*>("Panel1");
        QVERIFY(panel);
        const int room = panel->contentsRect().width() - panel->indent();
        if (panel->text() == text)
            QVERIFY2(panel->fontMetrics().horizontalAdvance(text) <= room, qPrintable(panel->text()));
        else
            QCOMPARE(panel->toolTip(), text);
        for (QWidget* part : {static_cast<QWidget*>(panel), w->findChild<QWidget*>("Panel2"), static_cast<QWidget*>(w->ProgressBar1)}) {
            const QRect r(part->mapTo(w->centralWidget(), QPoint()), part->size());
            QVERIFY2(w->centralWidget()->rect().contains(r), qPrintable(part->objectName()));
        }
    }

    // Every control a user reaches or reads has a name for assistive tools; the lists take
    // their labels', captions stay as they are, and a grid cell is named by point and column.
    void accessibleNames_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name"); // "" : any name
        QTest::newRow("cboDecimal") << "cboDecimal" << "Decimal Point";
        QTest::newRow("cboAddress") << "cboAddress" << "Meter Address";
        QTest::newRow("cboCommPort") << "cboCommPort" << "PC Comm Port";
        QTest::newRow("cboBaudRate") << "cboBaudRate" << "Baud Rate";
        QTest::newRow("cboSetPoints") << "cboSetPoints" << "No. of Points";
        QTest::newRow("cmdProgramMeter") << "cmdProgramMeter" << "Program Meter";
        QTest::newRow("optPulse") << "optPulse" << "Pulse";
        QTest::newRow("every other control") << "" << "";
    }
    void accessibleNames()
    {
        QFETCH(QString, control);
        QFETCH(QString, name);
        MessageRecorder messages;
        auto w = openWindow();
        QVERIFY(w);
        auto nameOf = [](QObject* o) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(o);
            return a ? a->text(QAccessible::Name) : QString();
        };
        if (!control.isEmpty()) {
            auto* c = w->findChild<QWidget*>(control);
            QVERIFY(c);
            QString read = nameOf(c);
            if (qobject_cast<QComboBox*>(c)) { // a list reads its text; its label comes by relation
                const auto labels = QAccessible::queryAccessibleInterface(c)->relations(QAccessible::Label);
                read = labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
            }
            QCOMPARE(read, name);
            return;
        }
        for (QWidget* c : w->findChildren<QWidget*>()) {
            auto* label = qobject_cast<QLabel*>(c); // a label that shows something: text or picture
            const bool shows = label && (!label->text().isEmpty() || !label->pixmap().isNull());
            if (c->isVisibleTo(w.get()) && (shows || (!label && c->focusPolicy() != Qt::NoFocus))
                && !c->objectName().isEmpty() && !c->objectName().startsWith("qt_"))
                QVERIFY2(!nameOf(c).isEmpty(), qPrintable(c->objectName()));
        }
        QCOMPARE(w->Label3->text(), QString("No. of Points"));
        QAccessibleTableInterface* grid = QAccessible::queryAccessibleInterface(w->MSFlexGrid1)->tableInterface();
        QVERIFY(grid);
        w->MSFlexGrid1->setTextMatrix(1, 1, "12.000");
        QCOMPARE(grid->cellAt(1, 1)->text(QAccessible::Name), QString("Point 2 Input: 12.000"));
        QCOMPARE(grid->cellAt(0, 2)->text(QAccessible::Name), QString("Point 1 Display: 4.000"));
    }

    // Last, as the translation stays installed: captions, messages and Qt's own buttons in
    // German, while the run's record stays English.
    void germanWindow()
    {
        QVERIFY(Translations::install(QLocale(QLocale::German, QLocale::Germany)));
        MessageRecorder messages;
        auto w = makeWindow(); // no port: Program Meter ends at once with the port message
        w->cmdProgramMeter->click();
        QTRY_VERIFY(w->recorder()->hasRun());
        QCOMPARE(QStringList({w->cmdProgramMeter->text(), QCoreApplication::translate("QPlatformTheme", "Cancel"),
                              messages.prompts().join('|'), w->recorder()->record().resultText}),
                 QStringList({"Programmieren", "Abbrechen", "Es ist keine PC-Schnittstelle gewählt.", "No PC Comm Port is selected."}));
        // Headings set again by an input-type change stay German.
        QTest::mouseClick(w->optPulse, Qt::LeftButton, {}, QPoint(6, w->optPulse->height() / 2));
        QCOMPARE(w->lblInput->text() + "|" + w->lblDisplay->text(), QString("Eing. (Hz)|  Anzeige"));
    }
};

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
