#pragma once

#include <QList>
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

    // The widths of the model's columns; a column is widened where the font needs more room
    // for its header text or for the `samples` given (a text as wide as its cells get).
    void setColumns(const QList<int> &widths, const QStringList &samples = {});
    // Sets a column's width by the row rule: its full width, or less the scroll bar when the
    // grid holds kRowsWithScrollBar rows or more (header included).
    void setColumnWidthByRows(int column);
    // The outer width that shows every column whole.
    int widthForColumns() const;
    // For a grid whose editor is always shown: the focus goes into the grid, with the current
    // cell open for typing (into its editor when one is open already).
    void focusCurrentCell();

private:
    QList<int> m_widths;
};
