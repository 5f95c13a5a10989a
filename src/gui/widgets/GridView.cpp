#include "widgets/GridView.h"

#include <QHeaderView>

namespace {
// Room around a header text (the padding and the border of the style sheet below) and around a
// cell's text.
constexpr int kHeaderTextRoom = 2 + 1 + 2;
constexpr int kCellTextRoom = 8;
} // namespace

TGridView::TGridView(QWidget *parent) : QTableView(parent)
{
    // 16 pixels a row, more when the font needs it.
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(std::max(16, fontMetrics().height() + 2));
    QHeaderView *header = horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStyleSheet(QStringLiteral("QHeaderView::section { background-color: yellow; color: black; "
                                         "padding-left: 2px; border: none; border-right: 1px solid gray; "
                                         "border-bottom: 1px solid gray; }"));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
}

void TGridView::setColumns(const QList<int> &widths, const QStringList &samples)
{
    m_widths = widths;
    for (int column = 0; column < m_widths.size(); ++column) {
        const QString title = model() ? model()->headerData(column, Qt::Horizontal).toString() : QString();
        m_widths[column] =
            std::max({m_widths[column], fontMetrics().horizontalAdvance(title) + kHeaderTextRoom,
                      fontMetrics().horizontalAdvance(samples.value(column)) + kCellTextRoom});
        setColumnWidth(column, m_widths[column]);
    }
}

void TGridView::setColumnWidthByRows(int column)
{
    const int rows = (model() ? model()->rowCount() : 0) + 1;
    const int wide = m_widths.value(column);
    setColumnWidth(column, rows >= kRowsWithScrollBar ? wide - kScrollBarRoom : wide);
}

int TGridView::widthForColumns() const
{
    int width = 2 * frameWidth();
    for (int column : m_widths)
        width += column;
    return width;
}

void TGridView::focusCurrentCell()
{
    if (state() == EditingState) {
        for (QWidget *editor : viewport()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (!editor->isHidden() && editor->focusPolicy() != Qt::NoFocus) {
                editor->setFocus();
                return;
            }
        }
    }
    setFocus();
    if (currentIndex().isValid())
        edit(currentIndex());
}
