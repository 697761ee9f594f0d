#include "app/HistoryDialog.h"

#include "history/HistorySpool.h"
#include "history/HistoryStore.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSqlQueryModel>
#include <QTableView>
#include <QVBoxLayout>

namespace {
// The filter text in a run's tag (any case), or a number that is its address.
class RunFilter final : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setText(const QString& text)
    {
        m_text = text.trimmed();
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        if (m_text.isEmpty())
            return true;
        const QStringList columns = History::runColumns();
        const auto value = [&](const char* column) {
            return sourceModel()->index(row, int(columns.indexOf(QLatin1String(column))), parent).data().toString();
        };
        bool number = false;
        const int address = m_text.toInt(&number);
        return value("tag").contains(m_text, Qt::CaseInsensitive) || (number && value("address").toInt() == address);
    }

private:
    QString m_text;
};
} // namespace

HistoryDialog::HistoryDialog(const History::Dest& dest, QWidget* parent)
    : QDialog(parent), m_store(std::make_unique<History::Store>(dest))
{
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(tr("History - %1").arg(dest.shown));
    txtFilter = new QLineEdit(this);
    txtFilter->setObjectName(QStringLiteral("txtFilter"));
    txtFilter->setPlaceholderText(tr("tag or address"));
    cboStatus = new QComboBox(this);
    cboStatus->setObjectName(QStringLiteral("cboStatus"));
    cboStatus->addItem(tr("All runs"));
    cboStatus->addItem(tr("Programmed"), QStringLiteral("programmed"));
    cboStatus->addItem(tr("Failed"), QStringLiteral("failed"));
    grdRuns = new QTableView(this);
    grdRuns->setObjectName(QStringLiteral("grdRuns"));
    grdRuns->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdRuns->setSelectionMode(QAbstractItemView::SingleSelection);
    grdRuns->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdRuns->verticalHeader()->hide();
    lblCount = new QLabel(this);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    cmdSaveRecord = new QPushButton(tr("Save Record..."), this);
    cmdSaveRecord->setObjectName(QStringLiteral("cmdSaveRecord"));
    cmdPrintRecord = new QPushButton(tr("Print Record..."), this);
    cmdPrintRecord->setObjectName(QStringLiteral("cmdPrintRecord"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(cmdSaveRecord, QDialogButtonBox::ActionRole);
    buttons->addButton(cmdPrintRecord, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(tr("Filter:"), this));
    filters->addWidget(txtFilter, 1);
    filters->addWidget(cboStatus);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(grdRuns, 1);
    layout->addWidget(lblCount);
    layout->addWidget(buttons);
    resize(900, 480);

    QString why;
    if (!m_store->open(&why, false)) {
        m_error = why;
        return;
    }
    History::Spool::flush(*m_store); // what the spool holds belongs in the list
    m_model = new QSqlQueryModel(this);
    auto* runs = new RunFilter(this);
    m_runs = runs;
    m_runs->setSourceModel(m_model);
    m_runs->setSortRole(Qt::DisplayRole);
    grdRuns->setModel(m_runs);
    grdRuns->setSortingEnabled(true);
    connect(txtFilter, &QLineEdit::textChanged, this, [this, runs](const QString& text) {
        runs->setText(text);
        showCount();
    });
    connect(cboStatus, &QComboBox::currentIndexChanged, this, &HistoryDialog::reload);
    connect(cmdSaveRecord, &QPushButton::clicked, this, [this] {
        if (const QByteArray json = selectedRecord(); !json.isEmpty())
            emit saveRecord(json);
    });
    connect(cmdPrintRecord, &QPushButton::clicked, this, [this] {
        if (const QByteArray json = selectedRecord(); !json.isEmpty())
            emit printRecord(json);
    });
    reload();
    grdRuns->sortByColumn(0, Qt::DescendingOrder);
}

HistoryDialog::~HistoryDialog()
{
    if (m_model)
        m_model->clear(); // its query goes before the connection
}

void HistoryDialog::reload()
{
    History::Filter filter;
    filter.status = cboStatus->currentData().toString();
    filter.limit = MaxRuns;
    QSqlQuery query = m_store->listQuery(filter);
    query.exec();
    m_model->setQuery(std::move(query));
    while (m_model->canFetchMore())
        m_model->fetchMore();
    const QStringList titles{tr("ID"),   tr("UUID"),     tr("Started"), tr("Ended"),  tr("Host"),   tr("Operator"), tr("Tag"),
                             tr("Port"), tr("Address"), tr("Baud"),    tr("Status"), tr("Exit"),   tr("Points"),   tr("Table SHA-256")};
    for (int c = 0; c < titles.size(); ++c)
        m_model->setHeaderData(c, Qt::Horizontal, titles[c]);
    grdRuns->hideColumn(1);
    grdRuns->resizeColumnsToContents(); // whole times and ports, as a search by them needs
    showCount();
}

void HistoryDialog::showCount()
{
    lblCount->setText(tr("%n run(s)", nullptr, m_runs->rowCount()));
}

QByteArray HistoryDialog::selectedRecord() const
{
    const QModelIndexList rows = grdRuns->selectionModel() ? grdRuns->selectionModel()->selectedRows() : QModelIndexList();
    if (rows.isEmpty())
        return {};
    QString why;
    return m_store->record(rows.first().data().toLongLong(), &why).value_or(QByteArray());
}
