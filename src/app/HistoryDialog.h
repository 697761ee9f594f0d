#pragma once
// File > History...: the runs of the run history, newest first, sortable by any column, with a
// filter for tag or address and one for the status; Save Record... and Print Record... hand the
// selected run's stored record to the window.
#include <QDialog>
#include <memory>

#include "history/HistoryDest.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QSqlQueryModel;
class QTableView;
namespace History {
class Store;
}

class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    // Opens the history for reading; error() tells why when it cannot be.
    HistoryDialog(const History::Dest& dest, QWidget* parent);
    ~HistoryDialog() override;
    QString error() const { return m_error; }

    QLineEdit* txtFilter = nullptr;  // a tag (part of it) or an address
    QComboBox* cboStatus = nullptr;  // all, programmed, failed
    QTableView* grdRuns = nullptr;
    QPushButton* cmdSaveRecord = nullptr;
    QPushButton* cmdPrintRecord = nullptr;
    QLabel* lblCount = nullptr;

    // The selected run's record as stored; empty when none is selected.
    QByteArray selectedRecord() const;

    static constexpr int MaxRuns = 10000; // the newest, when the history holds more

signals:
    void saveRecord(const QByteArray& json);
    void printRecord(const QByteArray& json);

private:
    void reload(); // runs the query for the status chosen
    void showCount();

    std::unique_ptr<History::Store> m_store;
    QSqlQueryModel* m_model = nullptr;
    QSortFilterProxyModel* m_runs = nullptr;
    QString m_error;
};
