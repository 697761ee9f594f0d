#include "app/FlexGrid.h"

#include "app/CellEditor.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

int VbKeyCode(const QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return vbKeyReturn;
    case Qt::Key_Escape: return vbKeyEscape;
    case Qt::Key_Backspace: return vbKeyBack;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return vbKeyUp;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return vbKeyDown;
    case Qt::Key_Delete: return vbKeyDelete;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    default: break;
    }
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    if (event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z)
        return event->key();
    if (event->key() >= Qt::Key_0 && event->key() <= Qt::Key_9)
        return keypad ? 96 + (event->key() - Qt::Key_0) : event->key();
    // Punctuation keys have codes of their own, apart from the control keys above
    // ("." is not Delete, "-" is not Insert).
    switch (event->key()) {
    case Qt::Key_Period: return keypad ? 110 : 190;
    case Qt::Key_Minus: return keypad ? 109 : 189;
    case Qt::Key_Plus: return keypad ? 107 : 187;
    case Qt::Key_Comma: return 188;
    case Qt::Key_Asterisk: return 106;
    case Qt::Key_Slash: return keypad ? 111 : 191;
    default: break;
    }
    return event->key() < 0x100 ? 0x100 + event->key() : event->key() & 0xFFFF;
}

GridDelegate::GridDelegate(FlexGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

void GridDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const int r = index.row(), c = index.column();
    const FlexGrid& g = *m_grid;
    if (c < g.FixedCols()) {
        option->backgroundBrush = g.palette().button();
        return;
    }
    const bool inSel = r >= std::min(g.m_row, g.m_rowSel) && r <= std::max(g.m_row, g.m_rowSel) && c >= std::min(g.m_col, g.m_colSel) &&
                       c <= std::max(g.m_col, g.m_colSel);
    const bool current = r == g.m_row && c == g.m_col;
    option->backgroundBrush = inSel && !current ? g.palette().highlight() : g.palette().base();
    option->palette.setBrush(QPalette::Text, inSel && !current ? g.palette().highlightedText() : g.palette().text());
}

void GridDelegate::placeEditor(CellEditor* editor) const
{
    const QPoint topLeft = m_grid->mapTo(editor->parentWidget(), QPoint(m_grid->CellLeft(), m_grid->CellTop()));
    editor->setGeometry(topLeft.x(), topLeft.y(), m_grid->CellWidth(), m_grid->CellHeight());
}

void GridDelegate::filterTypedKey(CellEditor* editor, int& keyAscii)
{
    // Where the decimal separator is a comma, a typed comma is the decimal point; the text
    // keeps the "." form. Elsewhere a comma is a thousands separator and stays ignored.
    if (keyAscii == ',' && QLocale().decimalPoint() == QStringLiteral(","))
        keyAscii = '.';
    const QString t = editor->text();
    const QChar k(keyAscii);
    const bool hasPoint = t.contains(QLatin1Char('.'));
    if (k == QLatin1Char('.') && hasPoint) {
        keyAscii = 0;
        return;
    }
    const bool allowed =
        (k >= QLatin1Char('0') && k <= QLatin1Char('9')) || k == QLatin1Char('-') || k == QLatin1Char('.') || keyAscii == 8;
    if (!allowed) {
        keyAscii = 0;
        return;
    }
    if (!hasPoint && t.size() > 5)
        editor->setTypedMaxLength(6);
    else if (hasPoint)
        editor->setTypedMaxLength(7);
    if (editor->SelLength() == t.size()) {
        if (k == QLatin1Char('-') && !t.isEmpty()) {
            editor->setText(QStringLiteral("-"));
            editor->setModified(true);
            editor->setSelStart(1);
            keyAscii = 0;
        }
        return;
    }
    if (!t.isEmpty() && k == QLatin1Char('-'))
        keyAscii = 0;
}


FlexGrid::FlexGrid(QWidget* parent) : QTableView(parent)
{
    m_delegate = new GridDelegate(this);
    setItemDelegate(m_delegate);
    horizontalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(1);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(17);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWordWrap(false);
    setTabKeyNavigation(false);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &FlexGrid::scrolled);
}

void FlexGrid::setModel(QAbstractItemModel* model)
{
    QTableView::setModel(model);
    if (!model)
        return;
    connect(model, &QAbstractItemModel::rowsRemoved, this, &FlexGrid::rowsGone);
    connect(model, &QAbstractItemModel::modelReset, this, &FlexGrid::rowsGone);
}

void FlexGrid::rowsGone()
{
    const int last = std::max(Rows() - 1, 0);
    m_row = std::min(m_row, last);
    m_rowSel = std::min(m_rowSel, last);
    showSelection();
}

QString FlexGrid::TextMatrix(int row, int col) const
{
    return model() ? model()->index(row, col).data().toString() : QString();
}

void FlexGrid::setTextMatrix(int row, int col, const QString& text)
{
    const QModelIndex index = model() ? model()->index(row, col) : QModelIndex();
    if (index.isValid() && index.data().toString() != text)
        model()->setData(index, text);
}

void FlexGrid::moveCurrent(int row, int col)
{
    emit leaveCell();
    m_row = m_rowSel = row;
    m_col = m_colSel = col;
    showSelection();
    emit enterCell();
}

void FlexGrid::setRow(int row)
{
    if (row >= 0 && row < Rows())
        moveCurrent(row, m_col);
}

void FlexGrid::setCol(int col)
{
    if (col >= FixedCols() && col < Cols())
        moveCurrent(m_row, col);
}

void FlexGrid::setRowSel(int row)
{
    if (row >= 0 && row < Rows()) {
        m_rowSel = row;
        showSelection();
    }
}

void FlexGrid::setCurrent(int row, int col)
{
    if (row >= 0 && row < Rows() && col >= FixedCols() && col < Cols())
        moveCurrent(row, col);
}

void FlexGrid::setColSel(int col)
{
    if (col >= FixedCols() && col < Cols()) {
        m_colSel = col;
        showSelection();
    }
}

QString FlexGrid::Clip() const
{
    const int r1 = std::min(m_row, m_rowSel), r2 = std::max(m_row, m_rowSel);
    const int c1 = std::min(m_col, m_colSel), c2 = std::max(m_col, m_colSel);
    QStringList lines;
    for (int r = r1; r <= r2; ++r) {
        QStringList cells;
        for (int c = c1; c <= c2; ++c)
            cells << TextMatrix(r, c);
        lines << cells.join('\t');
    }
    return lines.join('\r');
}

void FlexGrid::setColWidth(int col, int twips)
{
    if (col < 0 || col >= Cols())
        return;
    setColumnWidth(col, (twips + TwipsPerPixel / 2) / TwipsPerPixel);
}

int FlexGrid::CellLeft() const { return visualRect(model()->index(m_row, m_col)).left() + viewport()->x(); }
int FlexGrid::CellTop() const { return visualRect(model()->index(m_row, m_col)).top() + viewport()->y(); }
int FlexGrid::CellWidth() const { return visualRect(model()->index(m_row, m_col)).width(); }
int FlexGrid::CellHeight() const { return visualRect(model()->index(m_row, m_col)).height(); }

void FlexGrid::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = true; // a click anywhere on the grid, also off the value cells
    const QModelIndex idx = indexAt(event->position().toPoint());
    if (!idx.isValid() || idx.column() < FixedCols())
        return;
    if (event->modifiers() & Qt::ShiftModifier) {
        m_rowSel = idx.row();
        m_colSel = idx.column();
        showSelection();
    } else if (idx.row() != m_row || idx.column() != m_col) {
        moveCurrent(idx.row(), idx.column());
    } else {
        m_rowSel = m_row;
        m_colSel = m_col;
        showSelection();
    }
    m_dragging = true;
}

void FlexGrid::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton))
        return;
    const QModelIndex idx = indexAt(event->position().toPoint());
    if (idx.isValid() && idx.column() >= FixedCols() && (idx.row() != m_rowSel || idx.column() != m_colSel)) {
        m_rowSel = idx.row();
        m_colSel = idx.column();
        showSelection();
    }
}

void FlexGrid::mouseReleaseEvent(QMouseEvent* event)
{
    const bool wasPressed = m_pressed;
    m_pressed = m_dragging = false;
    if (wasPressed && event->button() == Qt::LeftButton)
        emit gridClicked();
}

void FlexGrid::keyPressEvent(QKeyEvent* event)
{
    const int code = VbKeyCode(event);
    emit keyDown(code);
    switch (event->key()) {
    case Qt::Key_Up:
        if (m_row > FixedRows())
            moveCurrent(m_row - 1, m_col);
        return;
    case Qt::Key_Down:
        if (m_row + 1 < Rows())
            moveCurrent(m_row + 1, m_col);
        return;
    case Qt::Key_Left:
        if (m_col > FixedCols())
            moveCurrent(m_row, m_col - 1);
        return;
    case Qt::Key_Right:
        if (m_col + 1 < Cols())
            moveCurrent(m_row, m_col + 1);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter: emit keyPress(vbKeyReturn); return;
    default: break;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text[0].isPrint())
        emit keyPress(text[0].unicode());
}

void FlexGrid::focusInEvent(QFocusEvent* event)
{
    m_focusReason = event->reason();
    QTableView::focusInEvent(event);
    // Getting the window back (after a message box, from another program) is not a
    // change of focus within the window.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        emit gotFocus();
}
