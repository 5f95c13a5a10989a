#include "windows/JournalModel.h"

#include "calls/JournalExport.h"

#include <QLocale>

namespace {
const char *const kHeaders[] = {
    QT_TRANSLATE_NOOP("JournalModel", "Datum"), QT_TRANSLATE_NOOP("JournalModel", "Uhrzeit"),
    QT_TRANSLATE_NOOP("JournalModel", "MSN"), QT_TRANSLATE_NOOP("JournalModel", "Anrufer")};
// Between the fields of a search text, so that no word matches across two of them.
constexpr QChar kFieldSeparator(0x1F);
} // namespace

JournalModel::JournalModel(QObject *parent) : QAbstractTableModel(parent) {}

void JournalModel::setCalls(QList<JournalRecord> calls, CallerResolver callers)
{
    beginResetModel();
    m_calls = std::move(calls);
    m_callers = std::move(callers);
    m_searchRows.clear();
    applyFilter();
    endResetModel();
}

void JournalModel::setCallers(CallerResolver callers)
{
    beginResetModel();
    m_callers = std::move(callers);
    m_searchRows.clear();
    applyFilter();
    endResetModel();
}

void JournalModel::clear()
{
    setCalls({}, CallerResolver());
}

void JournalModel::setFilter(const QString &text)
{
    beginResetModel();
    m_filter = text;
    applyFilter();
    endResetModel();
}

void JournalModel::buildSearchTexts()
{
    m_dateTexts.clear();
    m_msnTexts.clear();
    m_callerTexts.clear();
    m_searchRows.clear();
    m_searchRows.reserve(m_calls.size());
    QHash<qint64, int> dates;
    QHash<QString, int> msns;
    QHash<QString, int> callers;
    const QLocale locale;
    // The index of `key` in `texts`, adding its text when it is new.
    const auto indexOf = [](auto &index, const auto &key, QStringList &texts, const auto &makeText) {
        auto found = index.constFind(key);
        if (found != index.cend())
            return found.value();
        texts.append(makeText().toLower());
        return index.insert(key, int(texts.size() - 1)).value();
    };
    for (const JournalRecord &call : std::as_const(m_calls)) {
        const QDate day = call.callDate();
        const int date = indexOf(dates, day.toJulianDay(), m_dateTexts,
                                 [&] { return locale.toString(day, QLocale::ShortFormat); });
        const int msn = indexOf(msns, call.Msn, m_msnTexts, [&] { return call.Msn; });
        const int caller = indexOf(callers, call.CallerKey, m_callerTexts, [&] {
            return call.CallerKey + kFieldSeparator +
                   JournalCallerText(m_callers.Resolve(call.CallerKey), call.CallerKey);
        });
        m_searchRows.append({date, msn, caller});
    }
}

void JournalModel::applyFilter()
{
    const QStringList words = m_filter.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        m_filtered = false;
        m_shown.clear();
        return;
    }
    if (m_searchRows.size() != m_calls.size())
        buildSearchTexts();
    // Each word against each distinct text once.
    struct Hits
    {
        std::vector<char> Date, Msn, Caller;
    };
    const auto hitsOf = [](const QStringList &texts, const QString &word) {
        std::vector<char> hits(size_t(texts.size()));
        for (qsizetype i = 0; i < texts.size(); ++i)
            hits[size_t(i)] = texts[i].contains(word);
        return hits;
    };
    std::vector<Hits> hits;
    for (const QString &word : words)
        hits.push_back({hitsOf(m_dateTexts, word), hitsOf(m_msnTexts, word), hitsOf(m_callerTexts, word)});
    const auto matches = [&](int i) {
        const SearchRow &row = m_searchRows[i];
        for (const Hits &h : hits) {
            if (!h.Date[size_t(row.Date)] && !h.Msn[size_t(row.Msn)] && !h.Caller[size_t(row.Caller)])
                return false;
        }
        return true;
    };
    m_shown.clear();
    for (int i = 0; i < m_calls.size(); ++i) {
        if (matches(i))
            m_shown.append(i);
    }
    m_filtered = true;
}

QList<JournalRecord> JournalModel::shownCalls() const
{
    if (!m_filtered)
        return m_calls;
    QList<JournalRecord> calls;
    calls.reserve(m_shown.size());
    for (int i : m_shown)
        calls.append(m_calls[i]);
    return calls;
}

const JournalRecord *JournalModel::callAt(int row) const
{
    if (row < 0 || row >= shownCount())
        return nullptr;
    return &m_calls[m_filtered ? m_shown[row] : row];
}

int JournalModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : std::max(shownCount(), 1);
}

int JournalModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariant JournalModel::data(const QModelIndex &index, int role) const
{
    const JournalRecord *call = index.isValid() ? callAt(index.row()) : nullptr;
    if (role != Qt::DisplayRole || !call)
        return QVariant();
    switch (index.column()) {
    case ColDate:
        return QLocale().toString(call->callDateTime().date(), QLocale::ShortFormat);
    case ColTime:
        return call->callDateTime().time().toString(QStringLiteral("hh:mm"));
    case ColMsn:
        return call->Msn;
    case ColCaller:
        return JournalCallerText(m_callers.Resolve(call->CallerKey), call->CallerKey);
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
        return tr(kHeaders[section]);
    return QVariant();
}
