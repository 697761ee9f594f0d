#include "app/FitDialog.h"

#include "fitting/FitReport.h"
#include "app/frmMain.h"
#include "fitting/DataFile.h"
#include "table/NumberText.h"
#include "table/ValueRules.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cmath>

namespace {

struct SourceChoice {
    const char* caption;
    const char* shape;     // "" for a data file
    const char* parameter; // caption of the parameter field, "" for none
    const char* value;     // its first value
};
const SourceChoice Sources[] = {
    {QT_TRANSLATE_NOOP("FitDialog", "Data file"), "", "", ""},
    {QT_TRANSLATE_NOOP("FitDialog", "Square root"), "sqrt", "", ""},
    {QT_TRANSLATE_NOOP("FitDialog", "Power law"), "power", QT_TRANSLATE_NOOP("FitDialog", "Exponent P"), "2.5"},
    {QT_TRANSLATE_NOOP("FitDialog", "Horizontal cylinder"), "cylinder", "", ""},
    {QT_TRANSLATE_NOOP("FitDialog", "Cylinder with round ends"), "capsule", QT_TRANSLATE_NOOP("FitDialog", "Length / diameter R"), "3"},
    {QT_TRANSLATE_NOOP("FitDialog", "Cylinder with dished heads"), "heads", QT_TRANSLATE_NOOP("FitDialog", "R, head depth A (diameters)"), "3,0.25"},
    {QT_TRANSLATE_NOOP("FitDialog", "Sphere"), "sphere", "", ""},
    {QT_TRANSLATE_NOOP("FitDialog", "Conical bottom"), "cone", QT_TRANSLATE_NOOP("FitDialog", "Cone part of level F"), "0.2"},
    {QT_TRANSLATE_NOOP("FitDialog", "Dished bottom"), "dish", QT_TRANSLATE_NOOP("FitDialog", "Dished part of level F"), "0.1"},
};

const QColor ErrorOrange(0xE6, 0x7E, 0x22);
const QColor MaxRed(0xD3, 0x2F, 0x2F);

double luminance(const QColor& c)
{
    const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// The request the options describe; a shape's parameter and the ranges are read here, a data
// file on the worker thread.
struct Job {
    Fitting::Request request;
    QString dataPath;
    QString fault; // the options themselves are wrong
};

Fitting::Result runJob(Job job, std::shared_ptr<std::atomic_bool> cancel)
{
    job.request.cancel = cancel.get();
    if (!job.dataPath.isEmpty()) {
        const Fitting::DataRead read = Fitting::readDataFile(job.dataPath, cancel.get());
        if (!read.ok()) {
            Fitting::Result r;
            r.status = read.outcome == Fitting::DataRead::Outcome::BadRow ? Fitting::Status::BadData : Fitting::Status::BadRequest;
            r.message = read.message;
            return r;
        }
        job.request.rows = read.rows;
    }
    return Fitting::fit(job.request);
}

} // namespace

// ---- FitPreview ----

double FitPreview::contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor FitPreview::legible(QColor c, const QColor& background, double ratio)
{
    const QColor towards = luminance(background) < 0.18 ? QColor(Qt::white) : QColor(Qt::black);
    const QColor from = c;
    for (int step = 1; step <= 20 && contrast(c, background) < ratio; ++step) {
        const double t = step / 20.0;
        c = QColor::fromRgbF(float(from.redF() + (towards.redF() - from.redF()) * t), float(from.greenF() + (towards.greenF() - from.greenF()) * t),
                             float(from.blueF() + (towards.blueF() - from.blueF()) * t));
    }
    return c;
}

FitPreview::Colours FitPreview::colours(const QPalette& palette)
{
    const QColor base = palette.color(QPalette::Base);
    return {legible(palette.color(QPalette::Highlight), base, 3.2), legible(ErrorOrange, base, 3.2), legible(MaxRed, base, 3.2)};
}

FitPreview::FitPreview(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("preview"));
    setMinimumSize(420, 300);
}

void FitPreview::setResult(const Fitting::Result* result, const QString& inputUnit)
{
    m_result = result;
    m_unit = inputUnit;
    update();
}

void FitPreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    static const Fitting::Result none;
    paint(painter, rect(), m_result ? *m_result : none, m_unit, palette(), font());
}

void FitPreview::paint(QPainter& painter, const QRect& area, const Fitting::Result& r, const QString& unit, const QPalette& pal,
                       const QFont& font)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(area, pal.color(QPalette::Base));
    painter.setFont(font);
    const QFontMetrics fm = painter.fontMetrics();
    const int lh = fm.height();
    const Colours marks = colours(pal);
    const QColor text = pal.color(QPalette::Text), grid = pal.color(QPalette::Mid), table = marks.table;
    QColor source = text;
    source.setAlpha(110);

    if (!r.ok() || r.source.size() < 2) {
        painter.setPen(grid);
        painter.drawText(area, Qt::AlignCenter, tr("No preview"));
        painter.restore();
        return;
    }
    const double x0 = r.source.front().input, x1 = r.source.back().input;
    double y0 = r.source.front().value, y1 = y0, e = 0;
    for (const Fitting::Sample& s : r.source)
        y0 = std::min(y0, s.value), y1 = std::max(y1, s.value);
    for (const Fitting::Point& p : r.table)
        y0 = std::min(y0, p.displayValue), y1 = std::max(y1, p.displayValue);
    for (const Fitting::Sample& s : r.error)
        e = std::max(e, std::abs(s.value));
    if (!(y1 > y0))
        y1 = y0 + 1;
    if (!(e > 0))
        e = 1;

    const int left =
        area.left() + 10 + std::max(fm.horizontalAdvance(QString::number(y1, 'g', 6)), fm.horizontalAdvance(QString::number(-e, 'g', 3)));
    const QRectF plot(left, area.top() + lh + 6, area.right() - 10 - left, (area.height() - 3 * lh - 24) * 0.68);
    const QRectF band(left, plot.bottom() + lh + 8, plot.width(), area.bottom() - 2 * lh - 8 - plot.bottom() - lh - 8);
    const auto px = [&](double x) { return plot.left() + (x - x0) / (x1 - x0) * plot.width(); };
    const auto py = [&](double y) { return plot.bottom() - (y - y0) / (y1 - y0) * plot.height(); };
    const auto pe = [&](double v) { return band.center().y() - v / e * (band.height() / 2 - 5); };

    // Frames, the zero line and the range labels.
    painter.setPen(QPen(grid, 1));
    painter.drawRect(plot);
    painter.drawRect(band);
    painter.drawLine(QPointF(band.left(), pe(0)), QPointF(band.right(), pe(0)));
    painter.setPen(text);
    const auto numberLeft = [&](double y, double v, int digits) {
        painter.drawText(QRectF(area.left(), y - lh / 2.0, left - area.left() - 4, lh), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(v, 'g', digits));
    };
    numberLeft(py(y1), y1, 6);
    numberLeft(py(y0), y0, 6);
    numberLeft(pe(e), e, 3);
    numberLeft(pe(-e), -e, 3);
    const QString unitText = unit.isEmpty() ? QString() : QLatin1Char(' ') + unit;
    painter.drawText(QRectF(band.left(), band.bottom() + 2, band.width(), lh), Qt::AlignLeft, QString::number(x0, 'g', 6) + unitText);
    painter.drawText(QRectF(band.left(), band.bottom() + 2, band.width(), lh), Qt::AlignRight, QString::number(x1, 'g', 6) + unitText);
    painter.drawText(QRectF(band.left(), band.bottom() + 2, band.width(), lh), Qt::AlignHCenter, tr("Input"));

    // Legend.
    int lx = int(plot.left());
    const auto legend = [&](const QColor& c, const QString& caption) {
        painter.setPen(QPen(c, 3));
        painter.drawLine(lx, area.top() + 3 + lh / 2, lx + 18, area.top() + 3 + lh / 2);
        painter.setPen(text);
        painter.drawText(lx + 22, area.top() + 3, fm.horizontalAdvance(caption) + 2, lh, Qt::AlignVCenter, caption);
        lx += 22 + fm.horizontalAdvance(caption) + 16;
    };
    QStringList captions{tr("Source"), tr("Table (%1 points)").arg(r.table.size()), tr("Error (below)")};
    int wanted = 0;
    for (const QString& c : captions)
        wanted += 38 + fm.horizontalAdvance(c);
    if (wanted > plot.width()) // a large font: the short captions, never a cut one
        captions = QStringList{tr("Source"), tr("Table"), tr("Error")};
    legend(source, captions[0]);
    legend(table, captions[1]);
    legend(marks.error, captions[2]);

    // The source, then the table's segments and markers over it.
    painter.setClipRect(plot.adjusted(-6, -6, 6, 6));
    QPolygonF curve;
    for (const Fitting::Sample& s : r.source)
        curve << QPointF(px(s.input), py(s.value));
    painter.setPen(QPen(source, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(curve);
    painter.setPen(QPen(table, 1.6));
    for (int i = 1; i < r.table.size(); ++i)
        painter.drawLine(QPointF(px(r.table[i - 1].inputValue), py(r.table[i - 1].displayValue)),
                         QPointF(px(r.table[i].inputValue), py(r.table[i].displayValue)));
    painter.setBrush(table);
    painter.setPen(QPen(pal.color(QPalette::Base), 1));
    for (const Fitting::Point& p : r.table)
        painter.drawEllipse(QPointF(px(p.inputValue), py(p.displayValue)), 3.5, 3.5);

    // The error along the input, its maximum marked.
    painter.setClipRect(band);
    QPolygonF error;
    for (const Fitting::Sample& s : r.error)
        error << QPointF(px(s.input), pe(s.value));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(marks.error, 1.4));
    painter.drawPolyline(error);
    painter.setPen(QPen(grid, 1));
    for (const Fitting::Point& p : r.table)
        painter.drawLine(QPointF(px(p.inputValue), pe(0) - 3), QPointF(px(p.inputValue), pe(0) + 3));
    double atValue = 0;
    for (const Fitting::Sample& s : r.error)
        if (std::abs(s.value) > std::abs(atValue))
            atValue = s.value;
    const QPointF at(px(r.maxErrorAt), pe(atValue >= 0 ? r.maxError : -r.maxError));
    painter.setClipping(false);
    painter.setPen(QPen(marks.max, 2));
    painter.drawEllipse(at, 5, 5);
    const QString maxText = tr("max %1").arg(QString::number(r.maxError, 'g', 3));
    const double tw = fm.horizontalAdvance(maxText) + 4;
    // Right of the mark where it fits, else left of it: never over the mark.
    const double tx = at.x() + 8 + tw <= band.right() - 2 ? at.x() + 8 : std::max(band.left() + 2, at.x() - 8 - tw);
    const double ty = std::clamp(at.y() - lh / 2.0, band.top() + 1, band.bottom() - lh - 1);
    painter.drawText(QRectF(tx, ty, tw, lh), Qt::AlignVCenter, maxText);
    painter.restore();
}

// ---- FitDialog ----

FitDialog::FitDialog(frmMain* main, InputType type, const QString& format) : QDialog(main), m_main(main)
{
    setObjectName(QStringLiteral("frmFitPoints"));
    setWindowTitle(tr("Fit Points"));
    const auto named = [](auto* w, const char* name) {
        w->setObjectName(QLatin1String(name));
        return w;
    };
    cboSource = named(new QComboBox(this), "cboSource");
    for (const SourceChoice& s : Sources)
        cboSource->addItem(tr(s.caption), QLatin1String(s.shape));
    lblParameter = named(new QLabel(this), "lblParameter");
    txtParameter = named(new QLineEdit(this), "txtParameter");
    txtFile = named(new QLineEdit(this), "txtFile");
    txtFile->setReadOnly(true);
    txtFile->setPlaceholderText(tr("no file chosen"));
    cmdBrowse = named(new QPushButton(tr("Browse..."), this), "cmdBrowse");
    txtSpan = named(new QLineEdit(this), "txtSpan");
    txtSpan->setPlaceholderText(tr("all of column A"));
    txtInput = named(new QLineEdit(this), "txtInput");
    txtDisplay = named(new QLineEdit(QStringLiteral("0:100"), this), "txtDisplay");
    cboType = named(new QComboBox(this), "cboType");
    cboType->addItem(tr("Voltage"), int(InputType::Voltage));
    cboType->addItem(tr("Current"), int(InputType::Current));
    cboType->addItem(tr("Pulse"), int(InputType::Pulse));
    cboType->setCurrentIndex(cboType->findData(int(type)));
    cboFormat = named(new QComboBox(this), "cboFormat");
    cboFormat->addItems(ValueRules::decimalFormats());
    cboFormat->setCurrentIndex(std::max(0, int(cboFormat->findText(format))));
    optPoints = named(new QRadioButton(tr("Number of points"), this), "optPoints");
    spnPoints = named(new QSpinBox(this), "spnPoints");
    spnPoints->setRange(MeterRules::MinPoints, MeterRules::MaxPoints);
    spnPoints->setValue(11);
    optMaxError = named(new QRadioButton(tr("Maximum error"), this), "optMaxError");
    txtMaxError = named(new QLineEdit(QStringLiteral("0.5"), this), "txtMaxError");
    optPoints->setChecked(true);
    cboPlacement = named(new QComboBox(this), "cboPlacement");
    cboPlacement->addItem(tr("Least error"), int(Fitting::Placement::LeastError));
    cboPlacement->addItem(tr("On data points"), int(Fitting::Placement::OnData));
    chkEndsOnSource = named(new QCheckBox(tr("Ends on the source"), this), "chkEndsOnSource");
    chkEndsOnSource->setChecked(true);
    preview = new FitPreview(this);
    lblFigures = named(new QLabel(this), "lblFigures");
    lblFigures->setWordWrap(true);
    lblFigures->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblMessage = named(new QLabel(this), "lblMessage");
    lblMessage->setWordWrap(true);
    QPalette warn = lblMessage->palette();
    warn.setColor(QPalette::WindowText, FitPreview::legible(MaxRed, warn.color(QPalette::Window), 4.5));
    lblMessage->setPalette(warn);
    auto* buttons = new QDialogButtonBox(this);
    cmdUse = named(buttons->addButton(tr("Use"), QDialogButtonBox::ApplyRole), "cmdUse");
    cmdCancel = named(buttons->addButton(QDialogButtonBox::Cancel), "cmdCancel");
    for (QPushButton* button : {cmdBrowse, cmdUse, cmdCancel}) { // Return in a field presses none of them
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    auto* form = new QFormLayout;
    form->addRow(tr("Source"), cboSource);
    auto* file = new QHBoxLayout;
    file->addWidget(txtFile, 1);
    file->addWidget(cmdBrowse);
    form->addRow(tr("Data file"), file);
    form->addRow(lblParameter, txtParameter);
    form->addRow(tr("Span of column A X0:X1"), txtSpan);
    form->addRow(tr("Input range A:B"), txtInput);
    form->addRow(tr("Display range C:D"), txtDisplay);
    form->addRow(tr("Input type"), cboType);
    form->addRow(tr("Decimal point"), cboFormat);
    form->addRow(optPoints, spnPoints);
    form->addRow(optMaxError, txtMaxError);
    form->addRow(tr("Placement"), cboPlacement);
    form->addRow(QString(), chkEndsOnSource);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    auto* options = new QWidget(this);
    options->setLayout(form);
    options->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred); // as wide as its labels and lists need
    auto* right = new QVBoxLayout;
    right->addWidget(preview, 1);
    right->addWidget(lblFigures);
    right->addWidget(lblMessage);
    auto* top = new QHBoxLayout;
    top->addWidget(options, 0, Qt::AlignTop);
    top->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);
    resize(sizeHint().expandedTo(QSize(900, 520)).boundedTo(QSize(1200, 720)));

    m_changed.setSingleShot(true);
    m_changed.setInterval(0);
    connect(&m_changed, &QTimer::timeout, this, &FitDialog::startRun);
    connect(cboSource, &QComboBox::currentIndexChanged, this, &FitDialog::sourceChanged);
    connect(cboType, &QComboBox::currentIndexChanged, this, &FitDialog::typeChanged);
    connect(cmdBrowse, &QPushButton::clicked, this, &FitDialog::browse);
    for (QLineEdit* edit : {txtParameter, txtFile, txtSpan, txtInput, txtDisplay, txtMaxError}) {
        connect(edit, &QLineEdit::textChanged, this, &FitDialog::optionsChanged);
        connect(edit, &QLineEdit::returnPressed, this, &FitDialog::optionsChanged);
    }
    for (QComboBox* list : {cboFormat, cboPlacement})
        connect(list, &QComboBox::currentIndexChanged, this, &FitDialog::optionsChanged);
    connect(chkEndsOnSource, &QCheckBox::toggled, this, &FitDialog::optionsChanged);
    connect(spnPoints, &QSpinBox::valueChanged, this, &FitDialog::optionsChanged);
    connect(optPoints, &QRadioButton::toggled, this, &FitDialog::optionsChanged);
    connect(cmdUse, &QPushButton::clicked, this, &FitDialog::useClicked);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    cboSource->setCurrentIndex(3); // the horizontal cylinder, the commonest tank
    typeChanged();
}

FitDialog::~FitDialog()
{
    if (m_cancel)
        *m_cancel = true;
}

void FitDialog::reject()
{
    if (m_cancel)
        *m_cancel = true; // the worker stops at its next poll; its result is dropped
    m_cancel.reset();
    ++m_run;
    m_changed.stop();
    m_running = false;
    QDialog::reject();
}

InputType FitDialog::inputType() const { return InputType(cboType->currentData().toInt()); }
QString FitDialog::format() const { return cboFormat->currentText(); }

QString FitDialog::sourceName() const { return QLatin1String(Sources[std::max(0, cboSource->currentIndex())].caption); }

void FitDialog::sourceChanged()
{
    const SourceChoice& s = Sources[std::max(0, cboSource->currentIndex())];
    const bool data = !*s.shape;
    txtFile->setEnabled(data);
    cmdBrowse->setEnabled(data);
    txtDisplay->setEnabled(!data);
    txtSpan->setEnabled(data);
    txtInput->setPlaceholderText(data ? tr("column A as it stands") : QString());
    if (!data && txtInput->text().isEmpty()) // data keeps the range typed
        typeChanged();
    lblParameter->setText(*s.parameter ? tr(s.parameter) : tr("Parameter"));
    txtParameter->setEnabled(*s.parameter);
    txtParameter->setText(QLatin1String(s.value));
    cboPlacement->setItemText(1, data ? tr("On data points") : tr("On the curve"));
    optionsChanged();
}

void FitDialog::typeChanged()
{
    // A shape spans the new type's usual range; data keeps its own mapping.
    if (!cboSource->currentData().toString().isEmpty()) {
        const ValueRules::InputDefaults d = ValueRules::defaultsFor(inputType());
        const auto value = [](const QString& t) { return QString::number(NumberText::toNumber(t).value_or(0)); };
        txtInput->setText(value(d.point1) + u':' + value(d.point2));
    }
    optionsChanged();
}

void FitDialog::browse()
{
    const QString path = m_main->ShowOpenDialog(tr("Data (*.csv *.txt *.xlsx *.xls *.ods)|*.csv;*.txt;*.xlsx;*.xls;*.ods|"
                                                               "All Files (*.*)|*.*"),
                                                tr("Data to Fit"));
    if (!path.isEmpty())
        txtFile->setText(QDir::toNativeSeparators(path));
}

void FitDialog::optionsChanged()
{
    // On the data the ends are on the source anyway.
    chkEndsOnSource->setEnabled(Fitting::Placement(cboPlacement->currentData().toInt()) != Fitting::Placement::OnData);
    cmdUse->setEnabled(false);
    m_running = true;
    m_changed.start();
}

void FitDialog::startRun()
{
    Job job;
    Fitting::Request& q = job.request;
    q.type = inputType();
    q.format = format();
    const QString unit = QLatin1String(MeterRules::inputLimits(q.type).unit);
    const QString shape = cboSource->currentData().toString();
    if (!shape.isEmpty()) {
        const QString text = txtParameter->isEnabled() ? shape + u':' + txtParameter->text().trimmed() : shape;
        q.shape = Fitting::parseShape(text, &job.fault);
        q.display = Fitting::parseRange(txtDisplay->text());
        if (job.fault.isEmpty() && !q.display)
            job.fault = tr("The display range takes two numbers in display units, C:D");
    } else if (txtFile->text().isEmpty()) {
        job.fault = tr("Choose a data file");
    } else {
        job.dataPath = QDir::fromNativeSeparators(txtFile->text());
        if (!txtSpan->text().trimmed().isEmpty()) {
            q.span = Fitting::parseRange(txtSpan->text());
            if (!q.span)
                job.fault = tr("The span takes two numbers in column A's units, X0:X1");
        }
    }
    if (!txtInput->text().trimmed().isEmpty() || !shape.isEmpty()) {
        q.input = Fitting::parseRange(txtInput->text());
        if (job.fault.isEmpty() && !q.input)
            job.fault = tr("The input range takes two numbers in %1, A:B").arg(unit);
    }
    if (optPoints->isChecked()) {
        q.points = spnPoints->value();
    } else {
        q.maxError = NumberText::toNumber(txtMaxError->text().trimmed());
        if (job.fault.isEmpty() && !(q.maxError && *q.maxError > 0))
            job.fault = tr("The maximum error takes a number above 0, in display units");
    }
    q.placement = Fitting::Placement(cboPlacement->currentData().toInt());
    q.freeEnds = q.placement != Fitting::Placement::OnData && !chkEndsOnSource->isChecked();

    if (m_cancel)
        *m_cancel = true;
    m_cancel.reset();
    const int run = ++m_run;
    if (!job.fault.isEmpty()) {
        Fitting::Result r;
        r.message = job.fault;
        showResult(r, q);
        return;
    }
    m_cancel = std::make_shared<std::atomic_bool>(false);
    auto* watcher = new QFutureWatcher<Fitting::Result>(this);
    connect(watcher, &QFutureWatcher<Fitting::Result>::finished, this, [this, watcher, run, q] {
        watcher->deleteLater();
        if (run == m_run)
            showResult(watcher->result(), q);
    });
    watcher->setFuture(QtConcurrent::run(runJob, job, m_cancel));
}

void FitDialog::showResult(const Fitting::Result& r, const Fitting::Request& request)
{
    m_running = false;
    m_cancel.reset();
    m_result = r;
    m_request = request;
    const InputType type = inputType();
    preview->setResult(&m_result, QLatin1String(MeterRules::inputLimits(type).unit));
    cmdUse->setEnabled(r.ok());
    if (r.ok()) {
        lblFigures->setText(tr("%1 points: ").arg(r.table.size()) + FitReport::summary(r, request));
        lblMessage->setText(r.status == Fitting::Status::TargetNotMet
                                ? tr("%1 points cannot reach a maximum error of %2; this is the best table of %1 points.")
                                      .arg(r.table.size())
                                      .arg(txtMaxError->text().trimmed())
                                : QString());
    } else {
        lblFigures->clear();
        lblMessage->setText(r.message);
    }
    emit resultShown();
}
