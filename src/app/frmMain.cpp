#include "app/frmMain.h"
#include "record/RunRecorder.h"
#include "app/WindowPlacement.h"

#include "app/Artwork.h"
#include "app/CurveWindow.h"
#include "app/DeviceWatch.h"
#include "app/FitDialog.h"
#include "fitting/Fit.h"
#include "app/PanelStatusBar.h"
#include "link/PortDetails.h"
#include "app/PickList.h"
#include "link/ProbeVerdict.h"
#include "record/EnglishText.h"
#include "link/MeterLink.h"
#include "link/MeterTransaction.h"
#include "link/PortAddress.h"
#include "link/SerialComm.h"
#include "app/CellEditor.h"
#include "app/FlexGrid.h"
#include "document/PointTableModel.h"
#include "table/ValueRules.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QJsonObject>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QScopeGuard>
#include <QUndoStack>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QDir>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <unistd.h>
#include <utility>
#include <vector>

const char* const AppTitle = QT_TRANSLATE_NOOP("frmMain", "Talvo Series - Multi-Point Linearization Utility");

namespace {
frmMain::MessageHook g_messageHook;
frmMain::FileDialogHook g_fileDialogHook;

QFont sansFont(qreal points, bool bold)
{
    QFont f;
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// Return and keypad Enter press a focused button, as Space does.
class CommandButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && !(event->modifiers() & ~Qt::KeypadModifier)) {
            if (!event->isAutoRepeat()) // a held Enter that moved the focus here presses nothing
                click();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

// A fixed background comes with its text colour, so that a dark palette leaves it readable.
void whiteBackground(QWidget* w)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Button, Qt::white);
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::ButtonText, Qt::black);
    p.setColor(QPalette::Text, Qt::black);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    w->setPalette(p);
}

// "Text (*.txt)|*.txt|All Files (*.*)|*.*" -> "Text (*.txt);;All Files (*.*)"
QString qtNameFilters(const QString& filter)
{
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString desc = parts[i].trimmed();
        const QString pattern = QString(parts[i + 1]).replace(';', ' ');
        if (desc.isEmpty())
            continue;
        out << (desc.contains('(') ? desc : QStringLiteral("%1 (%2)").arg(desc, pattern));
    }
    return out.join(QStringLiteral(";;"));
}
} // namespace

void frmMain::setMessageHook(MessageHook hook) { g_messageHook = std::move(hook); }
void frmMain::setFileDialogHook(FileDialogHook hook) { g_fileDialogHook = std::move(hook); }

frmMain::frmMain(const AppOptions& options, QWidget* parent)
    : QMainWindow(parent), m_ports(options.ports), m_lockPath(options.lockPath), m_byIdDir(options.byIdDir),
      m_probeWaitMs(options.probeWaitMs), m_singleInstance(options.singleInstance), m_probePorts(options.probePorts),
      m_dryRun(options.dryRun), m_historyDest(options.history), m_noHistory(options.noHistory)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(tr(AppTitle));
    setWindowIcon(Artwork::appIcon());
    MSComm1 = new SerialComm([this](int n) { return m_ports.device(n); }, this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    m_transaction = new MeterTransaction(MSComm1, this);
    m_recorder = new RunRecorder(this);
    m_recorder->record().signing = options.signing;
    m_doc = new SetupDocument(this);
    m_model = new PointTableModel(m_doc, this);
    buildMenus();
    buildControls();
    wireShell();
    wireTable();
    wireProgramming();
    wireFiles();
    wireSpreadsheet();
    wireRecent();
    wireScan();
    wireUndo();
    Form_Load();
    m_undo->clear(); // the history starts with the window as it opened
    m_mappedOnly = options.mappedOnly;
    if (options.watchPorts && !m_refused) {
        m_watch = options.watchDir.isEmpty() ? DeviceWatch::system(this) : DeviceWatch::directory(options.watchDir, this);
        connect(m_watch, &DeviceWatch::deviceAdded, this, &frmMain::deviceAppeared);
        connect(m_watch, &DeviceWatch::deviceRemoved, this, &frmMain::deviceGone);
    }
}

frmMain::~frmMain()
{
    shutdownLink();
    if (m_lockFd >= 0)
        ::close(m_lockFd); // the kernel drops the lock with the last descriptor
}

void frmMain::buildMenus()
{
    QMenu* mnuFile = menuBar()->addMenu(tr("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuOpen = mnuFile->addAction(tr("Open Settings"));
    mnuOpen->setObjectName(QStringLiteral("mnuOpen"));
    mnuSave = mnuFile->addAction(tr("Save Settings"));
    mnuSave->setObjectName(QStringLiteral("mnuSave"));
    mnuFile->addSeparator();
    mnuSaveRecord = mnuFile->addAction(tr("Save Record..."));
    mnuSaveRecord->setObjectName(QStringLiteral("mnuSaveRecord"));
    mnuSaveRecord->setEnabled(false); // until a run has ended
    mnuPrintRecord = mnuFile->addAction(tr("Print Record..."));
    mnuPrintRecord->setObjectName(QStringLiteral("mnuPrintRecord"));
    mnuPrintRecord->setEnabled(false);
    mnuHistory = mnuFile->addAction(tr("History..."));
    mnuHistory->setObjectName(QStringLiteral("mnuHistory"));
    mnuFile->addSeparator();
    mnuExit = mnuFile->addAction(tr("Exit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    QMenu* mnuEdit = menuBar()->addMenu(tr("&Edit"));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    mnuUndo = mnuEdit->addAction(tr("Undo"));
    mnuUndo->setObjectName(QStringLiteral("mnuUndo"));
    mnuUndo->setShortcut(QKeySequence::Undo);
    mnuRedo = mnuEdit->addAction(tr("Redo"));
    mnuRedo->setObjectName(QStringLiteral("mnuRedo"));
    mnuRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    QMenu* mnuView = menuBar()->addMenu(tr("&View"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    mnuCurve = mnuView->addAction(tr("Linearization Curve"));
    mnuCurve->setObjectName(QStringLiteral("mnuCurve"));
    mnuCurve->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    QMenu* mnuSerial = menuBar()->addMenu(tr("&Serial Settings"));
    mnuSerial->setObjectName(QStringLiteral("mnuSerial"));
    mnuFindMeter = mnuSerial->addAction(tr("Find Meter..."));
    mnuFindMeter->setObjectName(QStringLiteral("mnuFindMeter"));
    QMenu* mnuTools = menuBar()->addMenu(tr("&Tools"));
    mnuTools->setObjectName(QStringLiteral("mnuTools"));
    mnuFitPoints = mnuTools->addAction(tr("Fit Points..."));
    mnuFitPoints->setObjectName(QStringLiteral("mnuFitPoints"));
    mnuAbout = menuBar()->addAction(tr("&About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
}

void frmMain::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(708, 455);
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, QColor(0xE0, 0xE0, 0xE0));
    pal.setColor(QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    client->setPalette(pal);
    client->setFont(sansFont(8.25, true));
    setCentralWidget(client);

    // Places w at window-client coordinates, whatever its parent.
    auto place = [client](QWidget* w, const char* name, int left, int top, int width, int height) {
        w->setObjectName(QLatin1String(name));
        w->setGeometry(QRect(w->parentWidget()->mapFrom(client, QPoint(left, top)), QSize(width, height)));
    };
    auto label = [&](QWidget* parent, const char* name, const QString& text, int l, int t, int w, int h) {
        auto* lbl = new QLabel(text, parent);
        place(lbl, name, l, t, w, h);
        return lbl;
    };
    auto frame = [&](QWidget* parent, const char* name, const QString& title, qreal points, int l, int t, int w, int h) {
        auto* box = new QGroupBox(title, parent);
        place(box, name, l, t, w, h);
        box->setFont(sansFont(points, true));
        return box;
    };
    auto pickList = [&](QWidget* parent, const char* name, int l, int t, int w, int h) {
        auto* list = new PickList(parent);
        place(list, name, l, t, w, h);
        list->setFont(sansFont(8.25, false));
        return list;
    };
    auto option = [&](QWidget* parent, const char* name, const QString& text, int l, int t, int w, int h) {
        auto* opt = new QRadioButton(text, parent);
        place(opt, name, l, t, w, h + 4);
        opt->setFont(sansFont(8.25, false));
        // The options lie on the fixed grey: their discs stay white with a black dot, as
        // the lists' fields stay white, whatever the desktop's palette.
        QPalette p = opt->palette();
        p.setColor(QPalette::Base, Qt::white);
        p.setColor(QPalette::Text, Qt::black);
        p.setColor(QPalette::Window, QColor(0x9C, 0x9C, 0x9C)); // styles draw the disc's ring darker than this
        p.setColor(QPalette::WindowText, Qt::black);
        p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
        p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
        opt->setPalette(p);
        return opt;
    };
    auto button = [&](QWidget* parent, const char* name, const QString& text, int l, int t, int w, int h) {
        auto* b = new CommandButton(text, parent);
        place(b, name, l, t, w, h);
        b->setStyleSheet(QStringLiteral("QPushButton { background: white; color: black; border: 1px solid #808080; border-radius: 2px; }"
                                        "QPushButton:pressed { background: #D0D0D0; }"
                                        "QPushButton:disabled { color: #A0A0A0; }"
                                        "QPushButton:focus { border: 2px solid #303030; }"));
        return b;
    };

    Label2 = label(client, "Label2", QString(), 0, 0, 705, 1);
    Label2->setAutoFillBackground(true);
    Label2->setStyleSheet(QStringLiteral("background: white;"));
    Image2 = label(client, "Image2", QString(), 8, 8, 140, 44);
    Image2->setPixmap(Artwork::brandBanner(140, 44));
    lblTitle = label(client, "lblTitle", tr("Multi-Point Linearization Utility"), 200, 32, 321, 33);
    QFont titleFont;
    titleFont.setFamilies({QStringLiteral("Book Antiqua"), QStringLiteral("P052"), QStringLiteral("TeX Gyre Pagella"),
                           QStringLiteral("URW Palladio L"), QStringLiteral("DejaVu Serif")});
    titleFont.setPointSizeF(15.75);
    titleFont.setBold(true);
    // A wider stand-in for the title face must still fit the label.
    while (titleFont.pointSizeF() > 8 && QFontMetrics(titleFont).horizontalAdvance(lblTitle->text()) > lblTitle->width())
        titleFont.setPointSizeF(titleFont.pointSizeF() - 0.25);
    lblTitle->setFont(titleFont);
    Image1 = label(client, "Image1", QString(), 560, 8, 140, 44);
    Image1->setPixmap(Artwork::meterPicture(140, 44));
    Image1->setToolTip(QStringLiteral("Talvo Series "));

    Frame3 = frame(client, "Frame3", tr("Meter Setup"), 12, 16, 80, 321, 257);
    Frame1 = frame(client, "Frame1", tr("Configuration"), 9.75, 40, 120, 129, 193);
    Label4 = label(client, "Label4", tr("Decimal Point"), 64, 264, 89, 17);
    Label4->setFont(sansFont(8.25, true));
    frmSelect = frame(client, "frmSelect", tr("Input"), 8.25, 64, 152, 81, 105);
    optVoltage = option(frmSelect, "optVoltage", tr("Voltage"), 72, 176, 57, 13);
    optCurrent = option(frmSelect, "optCurrent", tr("Current"), 72, 200, 57, 13);
    optPulse = option(frmSelect, "optPulse", tr("Pulse"), 72, 224, 57, 13);
    optCurrent->setChecked(true);
    cboDecimal = pickList(client, "cboDecimal", 64, 280, 81, 21);
    whiteBackground(cboDecimal);

    Frame2 = frame(client, "Frame2", tr("Serial Settings"), 9.75, 184, 120, 129, 193);
    Label6 = label(Frame2, "Label6", tr("Meter Address"), 208, 152, 89, 17);
    cboAddress = pickList(Frame2, "cboAddress", 208, 168, 81, 21);
    lblPCCommPort = label(Frame2, "lblPCCommPort", tr("PC Comm Port"), 208, 208, 89, 17);
    cboCommPort = pickList(Frame2, "cboCommPort", 208, 224, 81, 21);
    lblBaudRate = label(Frame2, "lblBaudRate", tr("Baud Rate"), 208, 264, 81, 17);
    cboBaudRate = pickList(Frame2, "cboBaudRate", 208, 280, 81, 21);
    for (QLabel* l : {Label6, lblPCCommPort, lblBaudRate})
        l->setFont(sansFont(8.25, true));

    Label5 = label(client, "Label5", QStringLiteral("(xxx.xxx)"), 464, 120, 65, 13);
    Label5->hide(); // lies behind the table frame: never seen
    frmInput = frame(client, "frmInput", tr("Number of Points"), 12, 368, 80, 321, 257);
    lblRow = label(frmInput, "lblRow", tr("Row"), 392, 120, 33, 17);
    lblInput = label(frmInput, "lblInput", tr("Input (mA) "), 424, 120, 65, 17);
    lblDisplay = label(frmInput, "lblDisplay", tr("Display"), 488, 120, 81, 17);
    for (QLabel* l : {lblRow, lblInput, lblDisplay}) {
        l->setFont(sansFont(8.25, true));
        l->hide();
    }
    MSFlexGrid1 = new FlexGrid(frmInput);
    MSFlexGrid1->setModel(m_model);
    place(MSFlexGrid1, "MSFlexGrid1", 392, 136, 177, 185);
    MSFlexGrid1->setFont(sansFont(8.25, true));
    MSFlexGrid1->setToolTip(tr("Press ENTER to confirm value and move to next cell"));
    MSFlexGrid1->hide();
    Label3 = label(client, "Label3", tr("No. of Points"), 592, 152, 81, 17);
    Label3->setFont(sansFont(8.25, true));
    cmdReset = button(frmInput, "cmdReset", tr("Clear"), 600, 208, 65, 25);
    cmdReset->setToolTip(tr("Clears contents of selected cells and allows user to change number of points"));
    cmdImport = button(frmInput, "cmdImport", tr("Import"), 600, 248, 65, 25);
    cmdImport->setToolTip(tr("Import values from Microsoft Excel spreadsheet"));
    cmdImport->setEnabled(false);
    cmdExport = button(frmInput, "cmdExport", tr("Export"), 600, 288, 65, 25);
    cmdExport->setToolTip(tr("Export values to a Microsoft Excel spreadsheet"));
    cmdExport->setEnabled(false);
    cboSetPoints = pickList(client, "cboSetPoints", 592, 168, 81, 21);
    whiteBackground(cboSetPoints);

    Text1 = new CellEditor(client);
    place(Text1, "Text1", 456, 200, 65, 19);
    Text1->setFont(sansFont(8.25, true));

    cmdProgramMeter = button(client, "cmdProgramMeter", tr("Program Meter"), 304, 368, 97, 33);
    Label1 = label(client, "Label1", tr("Note:  For use with Firmware Ver. 1.100 or later only"), 216, 416, 289, 17);
    QFont arial;
    arial.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("Arial")});
    arial.setPointSizeF(8.25);
    arial.setBold(true);
    Label1->setFont(arial);

    StatusBar1 = new PanelStatusBar(client);
    place(StatusBar1, "StatusBar1", 0, 440, 708, 15);
    StatusBar1->setFont(sansFont(8.25, true));
    ProgressBar1 = new QProgressBar(client);
    place(ProgressBar1, "ProgressBar1", 392, 440, 708 - 392, 14); // 321 wide would run 5 pixels under the window edge
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);

    cboBaudRate->addItems(MeterLink::listedBauds());
    for (int a = 1; a <= 247; ++a)
        cboAddress->addItem(QStringLiteral("%1").arg(a, 3, 10, QLatin1Char('0')));
    for (int n = MeterRules::MinPoints; n <= MeterRules::MaxPoints; ++n)
        cboSetPoints->addItem(QString::number(n));
    cboDecimal->addItems(ValueRules::decimalFormats());
    for (PickList* list : {cboBaudRate, cboAddress, cboSetPoints, cboDecimal, cboCommPort})
        list->setCurrentIndex(-1);

    // Names for assistive tools: a list is named by its label (a sibling, so that the label
    // relation finds it), the rest by what they show.
    const std::pair<QLabel*, QWidget*> buddies[] = {
        {Label4, cboDecimal}, {Label6, cboAddress}, {lblPCCommPort, cboCommPort}, {lblBaudRate, cboBaudRate}, {Label3, cboSetPoints}};
    for (const auto& [lbl, control] : buddies) {
        lbl->setBuddy(control);
        control->setAccessibleName(lbl->text());
    }
    MSFlexGrid1->setAccessibleName(tr("Linearization table"));
    Text1->setAccessibleName(tr("Cell value"));
    StatusBar1->setAccessibleName(tr("Status"));
    ProgressBar1->setAccessibleName(tr("Programming progress"));
    Image1->setAccessibleName(Image1->toolTip().trimmed());
    Image2->setAccessibleName(QStringLiteral("Talvo"));

    // Reading order; the table's editor is reached through the grid.
    QWidget* tabOrder[] = {optVoltage,  optCurrent,   optPulse, cboDecimal, cboAddress, cboCommPort,    cboBaudRate,
                           MSFlexGrid1, cboSetPoints, cmdReset, cmdImport,  cmdExport,  cmdProgramMeter};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    Text1->setFocusPolicy(Qt::ClickFocus);

    tmrStatusBarText.setObjectName(QStringLiteral("tmrStatusBarText"));
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void frmMain::wireShell()
{
    connect(mnuAbout, &QAction::triggered, this, &frmMain::mnuAbout_Click);
    connect(mnuExit, &QAction::triggered, this, &frmMain::mnuExit_Click);
    connect(mnuSaveRecord, &QAction::triggered, this, &frmMain::mnuSaveRecord_Click);
    connect(mnuPrintRecord, &QAction::triggered, this, &frmMain::mnuPrintRecord_Click);
    connect(mnuHistory, &QAction::triggered, this, &frmMain::mnuHistory_Click);
    connect(mnuCurve, &QAction::triggered, this, &frmMain::mnuCurve_Click);
    connect(mnuFitPoints, &QAction::triggered, this, &frmMain::mnuFitPoints_Click);
    connect(&tmrStatusBarText, &QTimer::timeout, this, &frmMain::tmrStatusBarText_Timer);
    connect(cboCommPort, &QComboBox::currentIndexChanged, this, &frmMain::updatePortToolTip);
}

void frmMain::updatePortToolTip()
{
    // The device behind the selected number and what is known of it, and the devices left out for permission.
    const QString n = cboCommPort->Text();
    const QString dev = n.isEmpty() ? QString() : m_ports.device(n.toInt());
    cboCommPort->setToolTip(
        PortDetails::toolTip(n, dev, dev.isEmpty() ? QStringList() : PortDetails::details(dev, m_byIdDir), m_deniedDevices));
}

int frmMain::MsgBox(const QString& prompt, int style, const QString& title)
{
    const QString caption = title.isEmpty() ? tr(AppTitle) : title;
    if (m_running && m_recorder)
        m_recorder->message(m_recordedPrompt.isEmpty() ? prompt : m_recordedPrompt);
    m_recordedPrompt.clear();
    if (g_messageHook)
        return g_messageHook(prompt, style, caption);
    const QPointer<QWidget> focus = QApplication::focusWidget();
    const auto back = qScopeGuard([&] { regainFocus(focus); });
    QMessageBox box(this);
    box.setWindowTitle(caption);
    box.setText(prompt);
    switch (style & 0xF0) {
    case vbCritical: box.setIcon(QMessageBox::Critical); break;
    case vbQuestion: box.setIcon(QMessageBox::Question); break;
    case vbExclamation: box.setIcon(QMessageBox::Warning); break;
    case vbInformation: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    if ((style & 0x0F) == vbYesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
    } else if ((style & 0x0F) == vbYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return vbYes;
    case QMessageBox::No: return vbNo;
    case QMessageBox::Cancel: return vbCancel;
    default: return vbOK;
    }
}

QString frmMain::ShowOpenDialog(const QString& filter, const QString& title)
{
    const QPointer<QWidget> focus = QApplication::focusWidget();
    const QString path = g_fileDialogHook ? g_fileDialogHook(false, filter, title)
                                          : QFileDialog::getOpenFileName(this, title, startFolder(filter), qtNameFilters(filter));
    if (!g_fileDialogHook)
        regainFocus(focus);
    rememberFolder(filter, path);
    return path;
}

QString frmMain::ShowSaveDialog(const QString& filter, const QString& title)
{
    const QPointer<QWidget> focus = QApplication::focusWidget();
    const QString path = g_fileDialogHook ? g_fileDialogHook(true, filter, title)
                                          : QFileDialog::getSaveFileName(this, title, startFolder(filter), qtNameFilters(filter));
    if (!g_fileDialogHook)
        regainFocus(focus);
    rememberFolder(filter, path);
    return path;
}

void frmMain::regainFocus(QWidget* focus)
{
    giveFocusBack(focus ? focus->window() : this, focus);
    // The grid gets its cell editor back, as a click on its current cell gives it, once the
    // handler that showed the dialog has finished.
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && focusWidget() == MSFlexGrid1 && !m_editOpen && m_handlerDepth == 0 && !m_running && !m_searching)
            MSFlexGrid1->setCurrent(MSFlexGrid1->Row(), MSFlexGrid1->Col());
    });
}

void frmMain::giveFocusBack(QWidget* window, QWidget* focus)
{
    // Some window managers give the focus to no window when a dialog closes.
    if (!window || !window->isVisible())
        return;
    window->activateWindow();
    QWidget* target = focus && focus->window() == window && focus->isVisible() && focus->isEnabled() ? focus : window->focusWidget();
    if (target)
        target->setFocus(Qt::ActiveWindowFocusReason);
}

int frmMain::RunMsgBox(const std::function<QString()>& prompt, int style, const QString& title)
{
    m_recordedPrompt = EnglishText::english(prompt);
    return MsgBox(prompt(), style, title);
}

void frmMain::DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void frmMain::setPanelText(int panel, const QString& text) { StatusBar1->setPanelText(panel, text); }

QString frmMain::panelText(int panel) const { return StatusBar1->panelText(panel); }

bool frmMain::selectListText(PickList* list, const QString& text) { return list->selectText(text); }

void frmMain::setOptionValue(QRadioButton* option, bool value)
{
    if (value) {
        option->setChecked(true);
        emit option->clicked(true);
        return;
    }
    // Clearing one option leaves the others as they are: no type when it was the selected one.
    if (option->isChecked())
        m_doc->clearType();
}

void frmMain::Form_Load()
{
    if (m_probePorts)
        ProbeCommPorts();
    tmrStatusBarText.setInterval(3000);
    if (cboBaudRate->Text().isEmpty())
        selectListText(cboBaudRate, QStringLiteral("2400"));
    if (cboAddress->Text().isEmpty())
        selectListText(cboAddress, QStringLiteral("001"));
    if (cboDecimal->Text().isEmpty())
        selectListText(cboDecimal, QStringLiteral("ddd.ddd"));
    MSFlexGrid1->show();
    m_doc->setCountUnlocked(true);
    selectListText(cboSetPoints, QStringLiteral("2"));
    Text1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Text1->setText(QStringLiteral("4.000"));
    MSFlexGrid1->delegate()->placeEditor(Text1);
    Text1->hide();
    Text1->setTypedMaxLength(7);
    // The window opens with the focus on the input type, so the point-count list stays
    // unlocked until the user leaves it or goes into the table.
    for (QRadioButton* opt : {optVoltage, optCurrent, optPulse})
        if (opt->isChecked())
            opt->setFocus(Qt::OtherFocusReason);

    if (!m_singleInstance)
        return;
    if (anotherCopyRuns()) {
        m_refused = true;
        MsgBox(tr("This program is already running"), vbExclamation);
        close();
    }
}

bool frmMain::anotherCopyRuns()
{
    // An flock() on a file in the user's private runtime folder: the kernel releases it
    // when the holder ends in any way, so only a live copy blocks. A lock that cannot be
    // set up at all (no runtime folder, unwritable file) does not stop the program.
    QString path = m_lockPath;
    if (path.isEmpty()) {
        const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (runtime.isEmpty())
            return false;
        path = QDir(runtime).filePath(QStringLiteral("talvo-linearizer.lock"));
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    int rc;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        m_lockFd = fd;
        return false;
    }
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

void frmMain::ProbeCommPorts()
{
    // Every port that opens gets the modem probe at once; one shared half-second wait
    // follows, then each port's answer is judged on its own.
    struct Probe {
        int number;
        std::unique_ptr<SerialComm> port;
    };
    std::vector<Probe> probes;
    bool probing = false;
    for (int n = PortMap::FirstPort; n <= PortMap::LastPort; ++n) {
        // A network port is listed unprobed: a connection would hold the server's line, and a
        // gateway is no modem.
        if (PortAddress::isNetwork(m_ports.device(n))) {
            probes.push_back({n, nullptr});
            continue;
        }
        auto port = std::make_unique<SerialComm>([this](int number) { return m_ports.device(number); });
        port->setCommPort(n);
        port->setSettings(QStringLiteral("2400,N,8,1"));
        if (!port->setPortOpen(true) || !port->portOpen()) {
            if (port->failure().permissionDenied) // skipped silently; the port list's tooltip names it
                m_deniedDevices << port->device();
            continue; // no such port, in use, or refused
        }
        port->output(ProbeVerdict::ProbeCommand);
        probes.push_back({n, std::move(port)});
        probing = true;
    }
    if (probing) {
        QElapsedTimer clock; // monotonic
        clock.start();
        while (clock.elapsed() < m_probeWaitMs) {
            QEventLoop wait;
            QTimer::singleShot(int(m_probeWaitMs - clock.elapsed()) + 1, &wait, &QEventLoop::quit);
            wait.exec();
        }
    }
    for (Probe& probe : probes) {
        const QByteArray answer = probe.port ? probe.port->input() : QByteArray();
        if (probe.port)
            probe.port->setPortOpen(false);
        if (ProbeVerdict::isModem(answer))
            continue;
        cboCommPort->AddItem(QString::number(probe.number));
        if (cboCommPort->Text().isEmpty())
            selectListText(cboCommPort, QString::number(probe.number));
    }
    updatePortToolTip();
    setPanelText(1, tr("Detected available PC Comm. Ports..."));
    RestartStatusTimer();
}

void frmMain::RestartStatusTimer()
{
    tmrStatusBarText.stop();
    tmrStatusBarText.setInterval(2000);
    tmrStatusBarText.start();
}

void frmMain::tmrStatusBarText_Timer()
{
    tmrStatusBarText.setInterval(3000);
    setPanelText(1, QString());
}

QString frmMain::AboutText()
{
    return QStringList{tr(AppTitle), tr("Copyright (C) 2026 Quillon. All rights reserved."),
                       tr("Version: %1").arg(QStringLiteral(TALVO_VERSION)), tr("Designed in 800 x 600 resolution"),
                       tr("Note:  For use with Firmware Version 1.100 or later only")}
        .join(QStringLiteral("\r\n"));
}

void frmMain::mnuAbout_Click() { MsgBox(AboutText(), vbOKOnly, tr("About")); }

void frmMain::mnuExit_Click()
{
    if (MsgBox(tr("Are you sure you want to exit the program?"), vbYesNoCancel | vbQuestion, tr("Exit Program")) ==
        vbYes)
        close();
}

void frmMain::mnuCurve_Click()
{
    if (!m_curve)
        m_curve = new CurveWindow(this);
    m_curve->open();
}

void frmMain::mnuFitPoints_Click()
{
    CommitCellEditor();
    auto* dialog = new FitDialog(this, selectedInputType().value_or(InputType::Current), cboDecimal->Text());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this, focus = QPointer<QWidget>(QApplication::focusWidget())] {
        giveFocusBack(this, focus);
    });
    connect(dialog, &FitDialog::useClicked, this, [this, dialog] {
        const Fitting::Result& r = dialog->fitted();
        PointTable table{dialog->inputType(), dialog->format(), {}};
        for (const Fitting::Point& p : r.table)
            table.rows.append({p.input, p.display});
        if (!useTable(table, tr("Fit Points")))
            return;
        QList<QPointF> source;
        for (const Fitting::Sample& s : r.source)
            source.append({s.input, s.value});
        m_doc->setFitSource(source);
        m_recorder->noteSource(QJsonObject{{"kind", "fit"},
                                           {"description", dialog->cboSource->currentIndex() == 0
                                                                  ? dialog->txtFile->text()
                                                                  : dialog->sourceName() + QLatin1Char(' ') + dialog->txtParameter->text()},
                                           {"max_error", QString::number(r.maxError, 'g', 6)},
                                           {"at", QString::number(r.maxErrorAt, 'g', 8)},
                                           {"percent_of_span", QString::number(r.maxErrorPercent, 'f', 3)},
                                           {"lower_bound", QString::number(r.lowerBound, 'g', 6)}},
                               pointTable().rows);
        dialog->accept();
    });
    // Fully on the screen, beside the main window where there is room, its frame taken to be
    // the main window's until the window manager has framed it.
    const QRect main = frameGeometry(), inner = geometry();
    const QSize extra(main.width() - inner.width(), main.height() - inner.height());
    const QRect available = screen() ? screen()->availableGeometry() : main;
    const QSize client = dialog->size().boundedTo(available.size() - extra);
    dialog->resize(client);
    dialog->move(WindowPlacement::place(main, QRect(frmInput->mapToGlobal(QPoint(0, 0)), frmInput->size()), client + extra, available));
    dialog->open();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // Nothing is saved; a run is cut short only when the user agrees. It then ends before
    // its next command: a pending wait for the meter ends and the port closes.
    if (!confirmCloseDuringRun()) {
        event->ignore();
        return;
    }
    m_closing = true;
    shutdownLink();
    event->accept();
}

void frmMain::shutdownLink()
{
    m_transaction->abort(QStringLiteral("the window is closing"));
    MSComm1->setPortOpen(false);
}
