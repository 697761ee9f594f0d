#pragma once
// The point-table grid: a view of a table model (the setup document's rows) with cells of
// text addressed by row and column, a current cell (Row, Col) and the far corner of the
// selection (RowSel, ColSel). Column 0 is fixed. Writing Row or Col raises leaveCell() for
// the old cell before the change and enterCell() for the new one after it.
#include <QStyledItemDelegate>
#include <QTableView>

class CellEditor;
class FlexGrid;
class QKeyEvent;

// Key codes of the handlers (the window's vbOK/vbCritical names live in frmMain.h).
enum KeyCodes { vbKeyBack = 8, vbKeyReturn = 13, vbKeyEscape = 27, vbKeyUp = 38, vbKeyDown = 40, vbKeyDelete = 46 };

// Key code of a key event in the numbering the handlers use (vbKeyReturn, vbKeyEscape, ...).
int VbKeyCode(const QKeyEvent* event);

// The grid's cells and their editor: paints a cell in the grid's style (the fixed column in
// the button colour, the selection but its current cell highlighted), places the editor over
// the current cell and holds the editor's typing rules.
class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(FlexGrid* grid);
    // The editor over the grid's current cell, its size.
    void placeEditor(CellEditor* editor) const;
    // The character filter on a character typed into the editor (keyAscii set to 0 to discard
    // it): digits, one decimal point (a comma where the locale's point is one), a minus sign
    // only first, backspace; at most 6 characters without a point, 7 with one.
    static void filterTypedKey(CellEditor* editor, int& keyAscii);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    FlexGrid* m_grid;
};

class FlexGrid : public QTableView {
    Q_OBJECT
public:
    static constexpr int TwipsPerPixel = 15;

    explicit FlexGrid(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    GridDelegate* delegate() const { return m_delegate; }
    int Rows() const { return model() ? model()->rowCount() : 0; }
    int Cols() const { return model() ? model()->columnCount() : 0; }
    int FixedRows() const { return 0; }
    int FixedCols() const { return 1; }

    int Row() const { return m_row; }
    void setRow(int row);
    int Col() const { return m_col; }
    void setCol(int col);
    int RowSel() const { return m_rowSel; }
    void setRowSel(int row);
    int ColSel() const { return m_colSel; }
    void setColSel(int col);
    // Makes (row, col) current in one move: one leaveCell() before, one enterCell() after.
    void setCurrent(int row, int col);
    // Why the grid last got the focus (mouse, Tab, ...).
    Qt::FocusReason focusReason() const { return m_focusReason; }
    // Repaints the grid.
    void Refresh() { viewport()->update(); }

    QString Text() const { return TextMatrix(m_row, m_col); }
    void setText(const QString& text) { setTextMatrix(m_row, m_col, text); }
    QString TextMatrix(int row, int col) const;
    void setTextMatrix(int row, int col, const QString& text);

    // The selection as one block: TAB between cells, CR between rows.
    QString Clip() const;

    void setColWidth(int col, int twips);

    // The current cell's rectangle within the grid, in pixels.
    int CellLeft() const;
    int CellTop() const;
    int CellWidth() const;
    int CellHeight() const;

signals:
    void leaveCell();
    void enterCell();
    void gridClicked();
    void gotFocus();
    void keyDown(int keyCode);
    void keyPress(int keyAscii);
    void scrolled();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void moveCurrent(int row, int col);
    void showSelection() { viewport()->update(); }
    void rowsGone(); // the current cell and the selection kept within the rows

    int m_row = 0, m_col = 1, m_rowSel = 0, m_colSel = 1;
    Qt::FocusReason m_focusReason = Qt::OtherFocusReason;
    bool m_pressed = false;        // the left button went down on the grid
    bool m_dragging = false;       // ... on a value cell: moving extends the selection
    GridDelegate* m_delegate = nullptr;
    friend class GridDelegate;
};
