#pragma once
// The utility's one window. It owns every control, and the controls are the settings:
// the five pick-lists, the three input-type options and the grid. Handlers carry the
// names of the control and event that run them; each subsystem implements its own
// handlers in its folder (frmMain_<subsystem>.cpp) and wires them in wire<Subsystem>();
// the link has nothing to wire: its reply transaction is a MeterTransaction.

#include <QMainWindow>
#include <QPointF>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/HistoryDialog.h"
#include "link/PortMap.h"
#include "link/ProbeVerdict.h"
#include "document/SetupDocument.h"
#include "history/HistoryStore.h"
#include "link/LinkTypes.h"
#include "programming/RunRecord.h"
#include "table/PointTable.h"
#include "table/ValueRules.h"

enum class RunEnd;  // programming/RunResult.h: how a Program Meter run ended
struct MeterSetup; // programming/ProgrammingRun.h: what a run programs
struct RunOutcome;
class RunReporter;

class QAction;
class QMenu;
class QUndoStack;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;

class CellEditor;
class DeviceWatch;
class PointTableModel;
class CurveWindow;
class RunRecorder;
struct RunRecord;

class MeterTransaction;
class SerialComm;
class FlexGrid;
class PanelStatusBar;
class PickList;

// Message box styles and the buttons they return.
enum MsgStyle { vbOKOnly = 0, vbYesNoCancel = 3, vbYesNo = 4, vbCritical = 16, vbQuestion = 32, vbExclamation = 48, vbInformation = 64 };
enum MsgResult { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

struct AppOptions {
    PortMap ports;                               // port numbers 1..16 and their devices
    QString lockPath;                            // single-instance lock; empty: talvo-linearizer.lock in the user's runtime folder
    int probeWaitMs = ProbeVerdict::ProbeWaitMs; // how long the start-up probe listens for a modem's answer
    bool singleInstance = true;                  // refuse to run beside another copy
    bool probePorts = true;                      // offer the ports that answer the start-up probe
    bool dryRun = false;                         // frames are handed to frameSent() and acknowledged; no port is opened
    QString byIdDir = QStringLiteral("/dev/serial/by-id"); // stable names shown in the port list's tooltip
    bool watchPorts = true;                                // devices plugged in later are probed and offered
    QString watchDir;                                      // watch this folder for serial nodes; empty: the system's watch (udev, or /dev)
    bool mappedOnly = false;                               // only devices that ports maps may join the list
    RunRecord::Signing signing;                            // the key that signs saved JSON records (tried before)

    QString history;        // the run history's DEST; empty: TALVO_HISTORY, else the default
    bool noHistory = false; // keep no run history
};

extern const char* const AppTitle; // "Talvo Series - Multi-Point Linearization Utility"

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // Seams: tests answer message boxes and file dialogs through these.
    using MessageHook = std::function<int(const QString& prompt, int style, const QString& title)>;
    using FileDialogHook = std::function<QString(bool save, const QString& filter, const QString& title)>;
    static void setMessageHook(MessageHook hook);
    static void setFileDialogHook(FileDialogHook hook);

    explicit frmMain(const AppOptions& options, QWidget* parent = nullptr);
    ~frmMain() override;

    // True when start-up found another running copy; the window then closed itself.
    bool refusedAsSecondInstance() const { return m_refused; }
    const PortMap& ports() const { return m_ports; }
    DeviceWatch* deviceWatch() const { return m_watch; } // none when ports are not watched
    int pendingPortProbes() const { return int(m_hotProbes.size()); }

    // ---- Controls (object names are the same as the member names) ----
    QLabel* Label2 = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* Image1 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* frmSelect = nullptr;
    QRadioButton* optVoltage = nullptr;
    QRadioButton* optCurrent = nullptr;
    QRadioButton* optPulse = nullptr;
    QLabel* Label4 = nullptr;
    PickList* cboDecimal = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLabel* Label6 = nullptr;
    PickList* cboAddress = nullptr;
    QLabel* lblPCCommPort = nullptr;
    PickList* cboCommPort = nullptr;
    QLabel* lblBaudRate = nullptr;
    PickList* cboBaudRate = nullptr;
    QGroupBox* frmInput = nullptr;
    QLabel* lblRow = nullptr;
    QLabel* lblInput = nullptr;
    QLabel* lblDisplay = nullptr;
    QLabel* Label5 = nullptr;
    FlexGrid* MSFlexGrid1 = nullptr;
    CellEditor* Text1 = nullptr;
    QLabel* Label3 = nullptr;
    PickList* cboSetPoints = nullptr;
    QPushButton* cmdReset = nullptr;
    QPushButton* cmdImport = nullptr;
    QPushButton* cmdExport = nullptr;
    QPushButton* cmdProgramMeter = nullptr;
    QLabel* Label1 = nullptr;
    PanelStatusBar* StatusBar1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QAction* mnuOpen = nullptr;
    QAction* mnuSave = nullptr;
    QAction* mnuSaveRecord = nullptr;
    QAction* mnuPrintRecord = nullptr;
    QAction* mnuHistory = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuUndo = nullptr;
    QAction* mnuRedo = nullptr;
    QAction* mnuCurve = nullptr;
    QAction* mnuFitPoints = nullptr;
    QAction* mnuFindMeter = nullptr;
    QAction* mnuAbout = nullptr;
    SerialComm* MSComm1 = nullptr;
    QTimer tmrStatusBarText;

    // ---- Window-level working variables ----
    int FailureCode = 0;

    // Each subsystem section below may grow with that subsystem's own procedures.
    // ---- Shell (src/app/frmMain.cpp) ----
    int MsgBox(const QString& prompt, int style = vbOKOnly, const QString& title = QString());
    // A run's message: shown in the window's language, kept in the run's record in English.
    int RunMsgBox(const std::function<QString()>& prompt, int style = vbOKOnly, const QString& title = QString());
    // filter in the form "Text (*.txt)|*.txt|All Files (*.*)|*.*"; returns "" when cancelled
    QString ShowOpenDialog(const QString& filter, const QString& title = QString());
    QString ShowSaveDialog(const QString& filter, const QString& title = QString());
    void DoEvents();
    void setPanelText(int panel, const QString& text); // panels counted from 1
    QString panelText(int panel) const;
    // Choose from code, with the same effect as the user choosing (the handler runs).
    bool selectListText(PickList* list, const QString& text);
    void setOptionValue(QRadioButton* option, bool value);
    void Form_Load();
    void ProbeCommPorts();
    void RestartStatusTimer();
    void tmrStatusBarText_Timer();
    void mnuAbout_Click();
    void mnuExit_Click();
    void mnuCurve_Click(); // opens the "Linearization Curve" window
    static QString AboutText();
    void mnuFitPoints_Click(); // opens the "Fit Points" dialog; Use puts its table into the grid
    // The setup the controls show and edit: every choice, the rows and their source.
    SetupDocument* document() const { return m_doc; }
    // The dense source of the table last put in by Fit Points, drawn behind the curve;
    // empty once the table has been edited since.
    const QList<QPointF>& fitSource() const { return m_doc->fitSource(); }

    // Gives the keyboard focus back to a window once a dialog it opened has closed: the
    // window is activated and the widget that had the focus gets it again.
    static void giveFocusBack(QWidget* window, QWidget* focus);

    // ---- Undo (src/app/frmMain_undo.cpp) ----
    // Every change to the setup but a single typed value is one step of Undo, named in the
    // Edit menu: a snapshot of the document before and after.
    using TableState = SetupState;
    TableState tableState() const { return m_doc->state(); }
    // Puts a state back into the document; `current` gets the state it replaces, a value
    // still being typed taken in.
    void restoreTableState(const TableState& state, TableState* current = nullptr);
    QUndoStack* undoStack() const { return m_undo; }
    // The table's changes while it lives are one step (the outermost of nested steps counts).
    class UndoStep {
    public:
        UndoStep(frmMain& w, const QString& what) : m_w(w) { m_w.beginTableStep(what); }
        ~UndoStep() { m_w.endTableStep(); }
        UndoStep(const UndoStep&) = delete;
        UndoStep& operator=(const UndoStep&) = delete;

    private:
        frmMain& m_w;
    };

    // ---- Linearization table (frmMain_table.cpp) ----
    void cboSetPoints_Click();
    void cboSetPoints_LostFocus();
    void CommitCellEditor();
    void ClearSelectedCells();
    void cmdReset_Click();
    void ShowCellEditor();
    void MoveToNextCell();
    QString EditorTextOfCell() const;                   // the current cell's text, "" when blank
    std::optional<InputType> selectedInputType() const { return m_doc->type(); } // none when no option is selected
    PointTable pointTable() const { return m_doc->table(); } // the rows with the input type and decimal-point format
    void MSFlexGrid1_Click();
    void MSFlexGrid1_EnterCell();
    void MSFlexGrid1_LeaveCell();
    void MSFlexGrid1_Scroll();
    void MSFlexGrid1_GotFocus();
    void MSFlexGrid1_KeyDown(int keyCode);
    void MSFlexGrid1_KeyPress(int keyAscii);
    void Text1_Click();
    void Text1_KeyDown(int keyCode);
    void Text1_KeyPress(int& keyAscii); // set keyAscii to 0 to discard the character
    void Text1_KeyUp(int keyCode);
    void Text1_LostFocus();
    void optVoltage_Click();
    void optCurrent_Click();
    void optPulse_Click();
    void cboDecimal_Click();
    void cboDecimal_GotFocus();

    // ---- Meter programming (frmMain_programming.cpp) ----
    // Takes the setup from the controls and runs ProgrammingRun with the window as its face.
    void cmdProgramMeter_Click();
    // One run of a setup with its face: Program Meter held, the record begun and ended. When
    // the window went away meanwhile nothing of it is touched.
    RunOutcome runMeter(const MeterSetup& setup, RunReporter* face);
    int CheckPointTable();
    void selectFailingCell(); // the cell of the table check's first broken rule, the focus on the grid
    MeterSetup meterSetup() const; // the lists, options and grid as they stand
    bool programmingRunning() const { return m_running; }
    bool closing() const { return m_closing; } // the window is closing: runs and searches stop
    qint64 runBytesSent() const { return m_runBytesSent; }         // frame bytes of the last run
    qint64 runBytesReceived() const { return m_runBytesReceived; } // reply bytes of the last run
    RunEnd lastRunEnd() const { return m_lastRunEnd; }
    bool confirmCloseDuringRun(); // true when no run is under way or the user lets it be cut short
    // The record of the last run (src/app/RunRecorder.h): File > Save Record... and Print Record...
    RunRecorder* recorder() const { return m_recorder; }
    void mnuSaveRecord_Click();
    void mnuPrintRecord_Click();
    // Writes the last run's record: PDF for a ".pdf" path, JSON otherwise. False with the reason.
    bool saveRecord(const QString& path, QString* error) const;

    // ---- Run history (src/app/frmMain_history.cpp) ----
    // File > History...: the runs stored, from which a record is saved or printed again.
    void mnuHistory_Click();
    HistoryDialog* historyDialog() const { return m_historyDialog; }

    // ---- Find Meter (src/app/frmMain_scan.cpp) ----
    // A MeterSearch of the selected port with a progress dialog, then the list of meters found
    // to choose from.
    void mnuFindMeter_Click();
    bool searching() const { return m_searching; }

    // ---- Settings files (frmMain_files.cpp) ----
    void mnuSave_Click();
    void mnuOpen_Click();
    bool openSettingsFile(const QString& path); // Open Settings from a path; false (message shown) on failure

    // ---- Remembered per user (frmMain_recent.cpp) ----
    // The folder a file dialog with this filter starts in: the last one used for its kind of
    // file (settings, workbooks, records), known by the filter's first pattern.
    QString startFolder(const QString& filter) const;
    void rememberFolder(const QString& filter, const QString& path);
    QStringList recentFiles() const;          // settings files and workbooks, the latest first
    void noteRecentFile(const QString& path); // opened or saved
    // Opens a settings file or imports a workbook; one no longer there is removed, with a message.
    void openRecentFile(const QString& path);
    QString rememberedOperator() const; // the records' operator, as last entered
    void rememberOperator(const QString& name);
    QMenu* mnuRecent = nullptr; // File > Recent Files

    // ---- Spreadsheet exchange (frmMain_spreadsheet.cpp) ----
    void cmdExport_Click();
    void cmdImport_Click();
    bool importWorkbook(const QString& path); // Import from a path; false (message shown) on failure
    // Puts a whole table in as Import does: the input type, the decimal point, No. of Points
    // and every value in its normal form, then the check of Program Meter. Asks first when
    // the grid holds values; false when it was not put in.
    bool useTable(const PointTable& table, const QString& title);
    bool tableHoldsValues() const;

signals:
    void frameSent(const QByteArray& frame); // dry run: a frame a real run would have sent

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void wireShell();
    void wireTable();
    void wireProgramming();
    void wireFiles();
    void wireSpreadsheet();
    void wireRecent();
    void fillRecentMenu();
    void wireScan();
    void wireUndo();
    void regainFocus(QWidget* focus); // after a dialog: giveFocusBack, and the grid's editor reopened
    bool m_searching = false; // a Find Meter search is under way
    void shutdownLink();      // closes the port and ends a pending wait (window closing)
    bool anotherCopyRuns();   // takes the single-instance lock; true only when another copy holds it
    void updatePortToolTip();
    // Hot-plug (src/app/frmMain_ports.cpp): new devices are probed as at start-up, listed under the
    // lowest free number; listed numbers never change; a device gone leaves the list unless selected.
    void deviceAppeared(const QString& device) { probeNewDevice(device, 0); }
    void probeNewDevice(const QString& device, int attempt);
    void deviceGone(const QString& device);
    void finishPortProbe(const QString& device);
    int numberForDevice(const QString& device) const; // -1: listed already; 0: none may be given
    bool isListed(int number) const;

    PortMap m_ports;
    QString m_lockPath;
    QString m_byIdDir;
    QStringList m_deniedDevices; // left out of the port list: the user may not open them
    DeviceWatch* m_watch = nullptr;
    std::map<QString, SerialComm*> m_hotProbes; // devices being probed, by path
    bool m_mappedOnly = false;
    int m_probeWaitMs = ProbeVerdict::ProbeWaitMs;
    int m_lockFd = -1; // holds the single-instance lock while open
    bool m_refused = false;
    bool m_closing = false; // the window is closing: waits end, runs stop
    bool m_running = false; // a Program Meter run is under way
    bool m_singleInstance = true;
    bool m_probePorts = true;
    bool m_dryRun = false;
    QPointer<CurveWindow> m_curve;
    RunRecorder* m_recorder = nullptr;
    QString m_historyDest; // --history's DEST, "" for TALVO_HISTORY or the default
    bool m_noHistory = false;
    std::unique_ptr<History::Store> m_history; // opened before a run, written after it
    QPointer<HistoryDialog> m_historyDialog;
    bool historyReady();     // before a run: reachable and writable, else a message box
    void keepRunInHistory(); // after a run that sent something: stored, else spooled
    // A record asked where to go and written there (JSON as stored), or printed.
    void saveRecordFile(const RunRecord& record, const QByteArray& stored);
    void printRecord(const RunRecord& record);
    QString m_recordedPrompt; // the English of the next run message, from RunMsgBox

    // ---- Link state ----
    MeterTransaction* m_transaction = nullptr; // the reply transaction on MSComm1

    // ---- Table state ----
    SetupDocument* m_doc = nullptr;
    PointTableModel* m_model = nullptr; // the grid's view of the document
    void showDocument();     // the lists, options and headings as the document holds them
    int m_handlerDepth = 0;  // re-entrancy guard of the cell editor's handlers
    bool m_editOpen = false; // the editor is open; its text belongs to (m_editRow, m_editCol)
    int m_editRow = 0, m_editCol = 1;
    void finishEdit(bool check); // takes an open editor's text into its cell and closes it
    void closeEditorWidget();    // hides the editor without letting the focus wander
    void applyInputType(int type);
    void wireClipboard(); // Ctrl+C / Ctrl+V on the grid and its editor
    void copyCells();
    void pasteCells(const QString& text);

    // ---- Programming state ----
    RunEnd m_lastRunEnd{}; // RunEnd::NotRun
    // The run's record (src/app/frmMain_record.cpp).
    void recordWorkbookSource(const QString& path);
    qint64 m_runBytesSent = 0;
    qint64 m_runBytesReceived = 0;

    // ---- Undo state ----
    QUndoStack* m_undo = nullptr;
    int m_stepDepth = 0;
    std::optional<TableState> m_stepBefore;
    QString m_stepText;
    void beginTableStep(const QString& what);
    void endTableStep();
};
