#pragma once
// "Program these meters...": the meters Find Meter listed, each programmed with a workbook of its
// own and a tag, one after another as `program --job` programs a job file. The window's lists
// and options give the rest of each meter's setup. Every row is read and checked before
// anything is sent; a failed meter stops the job. One progress line per meter.
#include <QDialog>
#include <QPointer>
#include <QStringList>

#include "link/LinkTypes.h"

class frmMain;
class QPushButton;
class QTableWidget;

class JobDialog : public QDialog {
    Q_OBJECT
public:
    enum Column { ColAddress, ColBaud, ColWorkbook, ColTag, ColProgress };

    JobDialog(frmMain* window, const QList<FoundMeter>& meters);

    QTableWidget* grdJob = nullptr;
    QPushButton* cmdProgram = nullptr;

    // The workbook of a row, through the window's open dialog.
    void cmdWorkbook_Click(int row);
    // Reads and checks every row, then programs the meters in order.
    void cmdProgram_Click();
    bool running() const { return m_running; }
    void setProgressText(int row, const QString& text);

public slots:
    void reject() override; // not while the job runs

private:
    QPointer<frmMain> m_w;
    QStringList m_workbooks; // per row; "" until chosen
    bool m_running = false;
};
