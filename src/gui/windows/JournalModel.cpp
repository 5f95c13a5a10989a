#include "windows/JournalModel.h"

#include <QLocale>

namespace {
const QString kHeaders[] = {QStringLiteral("Datum"), QStringLiteral("Uhrzeit"), QStringLiteral("MSN"),
                            QStringLiteral("Anrufer")};
} // namespace

JournalModel::JournalModel(QObject *parent) : QAbstractTableModel(parent) {}

void JournalModel::setCalls(QList<JournalRecord> calls, CallerResolver callers)
{
    beginResetModel();
    m_calls = std::move(calls);
    m_callers = std::move(callers);
    endResetModel();
}

void JournalModel::clear()
{
    setCalls({}, CallerResolver());
}

QString JournalModel::CallerText(const ResolvedCaller &resolved, const QString &key)
{
    QString text = resolved.Text;
    if (text.size() > 2 && text.at(1) == QLatin1Char('#'))
        text.remove(0, 2);
    return text.size() > 2 ? text : key;
}

int JournalModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : std::max<int>(int(m_calls.size()), 1);
}

int JournalModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariant JournalModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_calls.size())
        return QVariant();
    const JournalRecord &call = m_calls[index.row()];
    switch (index.column()) {
    case ColDate:
        return QLocale().toString(call.callDateTime().date(), QLocale::ShortFormat);
    case ColTime:
        return call.callDateTime().time().toString(QStringLiteral("hh:mm"));
    case ColMsn:
        return call.Msn;
    case ColCaller:
        return CallerText(m_callers.Resolve(call.CallerKey), call.CallerKey);
    default:
        return QVariant();
    }
}

Qt::ItemFlags JournalModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 4)
        return kHeaders[section];
    return QVariant();
}
