#pragma once

#include <QTableView>

// The program's grids: one fixed header row in yellow, no fixed column, rows of one height,
// cells drawn plain; only a vertical scroll bar. Works on any model, so a grid of 100,000 rows
// costs no more to show than the rows in sight.
class TGridView : public QTableView
{
    Q_OBJECT
public:
    // Rows including the header row from which a grid shows its scroll bar (the width rule).
    static constexpr int kRowsWithScrollBar = 13;
    static constexpr int kScrollBarRoom = 16;

    explicit TGridView(QWidget *parent = nullptr);

    int rowHeight() const { return m_rowHeight; }
    // The width a column gets when it makes room for the scroll bar: `wide`, or `wide` less
    // the scroll bar when the grid holds kRowsWithScrollBar rows or more (header included).
    void setColumnWidthByRows(int column, int wide);
    // The outer size that shows the given column widths whole and `rows` rows under the header.
    QSize sizeFor(int columnsWidth, double rows) const;
    // For a grid whose editor is always shown: the focus goes into the grid, with the current
    // cell open for typing (into its editor when one is open already).
    void focusCurrentCell();

private:
    int m_rowHeight;
};
