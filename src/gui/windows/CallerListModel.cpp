#include "windows/CallerListModel.h"

namespace {
const char *const kHeaders[] = {QT_TRANSLATE_NOOP("CallerListModel", "Rufnummer"),
                                QT_TRANSLATE_NOOP("CallerListModel", "Name"),
                                QT_TRANSLATE_NOOP("CallerListModel", "Gesperrt")};
const QString kBlockedMark = QStringLiteral("X");
} // namespace

CallerListModel::CallerListModel(QObject *parent) : QAbstractTableModel(parent)
{
    m_rows.append(Row());
}

void CallerListModel::setCallers(const QList<CallerRecord> &callers)
{
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(std::max<qsizetype>(callers.size(), 1));
    for (const CallerRecord &c : callers)
        m_rows.append(Row{{c.Number, c.Name, c.Blocked ? kBlockedMark : QString()}});
    if (m_rows.isEmpty())
        m_rows.append(Row());
    endResetModel();
}

QList<CallerRecord> CallerListModel::callers() const
{
    QList<CallerRecord> out;
    out.reserve(m_rows.size());
    for (const Row &row : m_rows)
        out.append({row.cells[ColNumber], row.cells[ColName],
                    CallerDirectory::BlockedFromText(row.cells[ColBlocked])});
    return out;
}

int CallerListModel::appendEmptyRow()
{
    const int row = int(m_rows.size());
    beginInsertRows(QModelIndex(), row, row);
    m_rows.append(Row());
    endInsertRows();
    return row;
}

int CallerListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CallerListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant CallerListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const QString &text = m_rows[index.row()].cells[index.column()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text;
    case Qt::ToolTipRole:
        // A long name shows whole; the other columns have no hint.
        return index.column() == ColName && !text.isEmpty() ? QVariant(text) : QVariant();
    default:
        return QVariant();
    }
}

bool CallerListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || index.row() >= m_rows.size())
        return false;
    QString &cell = m_rows[index.row()].cells[index.column()];
    const QString text = value.toString();
    if (cell == text)
        return true;
    cell = text;
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole, Qt::ToolTipRole});
    return true;
}

Qt::ItemFlags CallerListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

QVariant CallerListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 3)
        return tr(kHeaders[section]);
    return QVariant();
}
