#include "document/PointTableModel.h"

#include "document/SetupDocument.h"

#include <QCoreApplication>
#include <algorithm>

PointTableModel::PointTableModel(SetupDocument* document, QObject* parent)
    : QAbstractTableModel(parent), m_doc(document), m_rows(document->rowCount())
{
    connect(m_doc, &SetupDocument::countChanged, this, [this](int oldCount, int newCount) {
        if (newCount > oldCount) {
            beginInsertRows(QModelIndex(), oldCount, newCount - 1);
            m_rows = newCount;
            endInsertRows();
        } else if (newCount < oldCount) {
            beginRemoveRows(QModelIndex(), newCount, oldCount - 1);
            m_rows = newCount;
            endRemoveRows();
        }
    });
    connect(m_doc, &SetupDocument::rowsChanged, this, [this](int first, int last) {
        if (m_rows != m_doc->rowCount()) { // a change the count signal has not told yet
            beginResetModel();
            m_rows = m_doc->rowCount();
            endResetModel();
            return;
        }
        first = std::max(first, 0);
        last = std::min(last, m_rows - 1);
        if (first <= last)
            emit dataChanged(index(first, 0), index(last, SetupDocument::ColumnCount - 1), {Qt::DisplayRole, Qt::EditRole});
    });
}

int PointTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int PointTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : SetupDocument::ColumnCount; }

QVariant PointTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_doc->rowCount())
        return {};
    const QString text = m_doc->cell(index.row(), index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return text;
    case Qt::TextAlignmentRole:
        return index.column() == SetupDocument::NumberColumn ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::AccessibleTextRole: {
        static const char* const columns[] = {QT_TRANSLATE_NOOP("FlexGrid", "Row"), QT_TRANSLATE_NOOP("FlexGrid", "Input"),
                                              QT_TRANSLATE_NOOP("FlexGrid", "Display")};
        const QString name = QCoreApplication::translate("FlexGrid", "Point %1 %2")
                                 .arg(index.row() + 1)
                                 .arg(QCoreApplication::translate("FlexGrid", columns[std::clamp(index.column(), 0, 2)]));
        return text.isEmpty() ? name : QStringLiteral("%1: %2").arg(name, text);
    }
    default: return {};
    }
}

bool PointTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || index.column() == SetupDocument::NumberColumn)
        return false;
    m_doc->setCell(index.row(), index.column(), value.toString());
    return true;
}

Qt::ItemFlags PointTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.column() == SetupDocument::NumberColumn)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}
