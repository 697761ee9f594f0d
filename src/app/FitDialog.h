#pragma once
// "Fit Points": the source (a data file or a shape), the ranges, the input type and
// decimal-point format, the number of points or the error to reach, and the placement.
// Every change (and Return in a field) refits on a worker thread, dropping a stale run, and
// the preview shows the source, the fitted table and its error. Use hands the table to the
// main window, which puts it in; the dialog holds no setting of the window. No button is a
// default button: Return in a field never opens the file browser. Cancel stops a run at once.
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <memory>

#include "fitting/Fit.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class QRadioButton;
class QSpinBox;
class frmMain;

// Paints a fit result: the source and the table above, their difference below.
class FitPreview : public QWidget {
    Q_OBJECT
public:
    explicit FitPreview(QWidget* parent = nullptr);
    void setResult(const Fitting::Result* result, const QString& inputUnit);
    static void paint(QPainter& painter, const QRect& area, const Fitting::Result& result, const QString& inputUnit,
                      const QPalette& palette, const QFont& font);
    // The marks drawn over the plot's background (the palette's Base), each at least 3:1 against it.
    struct Colours {
        QColor table, error, max;
    };
    static Colours colours(const QPalette& palette);
    // c, moved towards white or black until it stands at least `ratio` : 1 against background.
    static QColor legible(QColor c, const QColor& background, double ratio);
    static double contrast(const QColor& a, const QColor& b); // WCAG contrast ratio

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const Fitting::Result* m_result = nullptr;
    QString m_unit;
};

class FitDialog : public QDialog {
    Q_OBJECT
public:
    FitDialog(frmMain* main, InputType type, const QString& format);
    ~FitDialog() override;

    // The last result shown, for the options as they stand when no run is pending.
    const Fitting::Result& fitted() const { return m_result; }
    const Fitting::Request& fittedRequest() const { return m_request; }
    bool running() const { return m_running; }
    InputType inputType() const;
    QString sourceName() const; // the source's English caption, for the record
    QString format() const;

    // Controls (object names are the member names).
    QComboBox* cboSource = nullptr; // "Data file" or a shape
    QLabel* lblParameter = nullptr;
    QLineEdit* txtParameter = nullptr; // the shape's parameter: P, R or F
    QLineEdit* txtFile = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QLineEdit* txtSpan = nullptr;    // "X0:X1" of column A, data only
    QLineEdit* txtInput = nullptr;   // "A:B"
    QLineEdit* txtDisplay = nullptr; // "C:D", shapes only
    QComboBox* cboType = nullptr;
    QComboBox* cboFormat = nullptr;
    QRadioButton* optPoints = nullptr;
    QSpinBox* spnPoints = nullptr;
    QRadioButton* optMaxError = nullptr;
    QLineEdit* txtMaxError = nullptr;
    QComboBox* cboPlacement = nullptr;
    QCheckBox* chkEndsOnSource = nullptr; // "Ends on the source"; off lets the end display values move
    FitPreview* preview = nullptr;
    QLabel* lblFigures = nullptr; // max error, where it occurs, the limiting rule
    QLabel* lblMessage = nullptr; // what is wrong with the options or the data
    QPushButton* cmdUse = nullptr;
    QPushButton* cmdCancel = nullptr;

    void reject() override; // cancels a run under way first

signals:
    void useClicked();  // the main window takes fitted() in, then accepts the dialog
    void resultShown(); // a run's result is on show

private:
    void sourceChanged();
    void typeChanged();
    void browse();
    void optionsChanged();
    void startRun();
    void showResult(const Fitting::Result& result, const Fitting::Request& request);

    frmMain* m_main;
    QTimer m_changed; // gathers the changes of one action into one run
    Fitting::Result m_result;
    Fitting::Request m_request; // of m_result
    std::shared_ptr<std::atomic_bool> m_cancel; // of the run under way
    int m_run = 0;                              // number of the latest run
    bool m_running = false;
};
