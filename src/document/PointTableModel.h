#pragma once
// The document's rows as a table model: column 0 the point's number, column 1 the input
// value, column 2 the display value, every cell a text; the value cells are editable.
// Assistive tools read a cell by its point and column, with its value.
#include <QAbstractTableModel>

class SetupDocument;

class PointTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit PointTableModel(SetupDocument* document, QObject* parent = nullptr);

    SetupDocument* document() const { return m_doc; }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    SetupDocument* m_doc;
    int m_rows = 0; // the rows the views know of
};
