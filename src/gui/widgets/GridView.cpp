#include "widgets/GridView.h"

#include <QHeaderView>

TGridView::TGridView(QWidget *parent) : QTableView(parent)
{
    // 16 pixels a row, more when the font needs it.
    m_rowHeight = std::max(16, fontMetrics().height() + 2);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(m_rowHeight);
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

void TGridView::setColumnWidthByRows(int column, int wide)
{
    const int rows = (model() ? model()->rowCount() : 0) + 1;
    setColumnWidth(column, rows >= kRowsWithScrollBar ? wide - kScrollBarRoom : wide);
}

QSize TGridView::sizeFor(int columnsWidth, double rows) const
{
    const int frame = 2 * frameWidth();
    return QSize(columnsWidth + frame,
                 frame + horizontalHeader()->sizeHint().height() + int(rows * m_rowHeight));
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
