#include "contacts/ContactImport.h"

#include "common/Errors.h"

#include <QCoreApplication>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <new>
#include <unordered_map>
#include <vector>

namespace {
constexpr qsizetype kShortestPrefix = 2;

// A name as one line of the directory can hold it.
QString entryName(const Contact &contact)
{
    QString name = contact.DisplayName();
    for (QChar &c : name) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('\t'))
            c = QLatin1Char(' ');
    }
    return name.simplified().left(CallerDirectory::kMaxValueLength - 2);
}

// The part of a key a number must begin with to be answered by it.
QString prefixOf(const QString &key)
{
    const qsizetype star = key.indexOf(QLatin1Char('*'));
    return (star < 0 ? key : key.left(star)).toLower();
}

// The prefixes of the directory's keys, one character per step, each with the first row it
// answers for: every prefix of a number is found in one walk along it.
class PrefixTree
{
public:
    // Keeps the row of the first call for a prefix.
    void Add(const QString &prefix, qsizetype row)
    {
        qsizetype node = 0;
        for (const QChar c : prefix) {
            const auto [it, added] = m_next.try_emplace(edge(node, c), qsizetype(m_row.size()));
            if (added)
                m_row.push_back(-1);
            node = it->second;
        }
        if (m_row[size_t(node)] < 0)
            m_row[size_t(node)] = row;
    }

    // The first row any prefix of `number` answers for; `none` when no prefix is known.
    qsizetype FirstAnswering(const QString &number, qsizetype none) const
    {
        qsizetype first = none;
        ForEachAnswering(number, [&](qsizetype row) { first = std::min(first, row); });
        return first;
    }

    // Calls `found` with the row of every prefix of `number` that is known.
    template<typename F> void ForEachAnswering(const QString &number, F found) const
    {
        qsizetype node = 0;
        for (const QChar c : number) {
            const auto it = m_next.find(edge(node, c));
            if (it == m_next.end())
                break;
            node = it->second;
            if (m_row[size_t(node)] >= 0)
                found(m_row[size_t(node)]);
        }
    }

private:
    static quint64 edge(qsizetype node, QChar c) { return quint64(node) << 16 | c.unicode(); }

    std::unordered_map<quint64, qsizetype> m_next; // (node, character) -> node
    std::vector<qsizetype> m_row{-1};              // node -> first row, or -1; 0 is the root
};

// New entries that go before the same row may answer each other's numbers (a switchboard and
// its extensions), and the ring handler takes the first entry that answers. An entry whose
// number starts another's therefore goes after it: those entries go last, the longer first; the
// others keep the address book's order. (Entries before different rows never answer each
// other's numbers: a number that answers another is its start, so every row that answers the
// one answers the other.)
void orderUnshadowed(QList<CallerRecord> &group)
{
    if (group.size() < 2)
        return;
    PrefixTree tree;
    for (qsizetype i = 0; i < group.size(); ++i)
        tree.Add(group[i].Number.toLower(), i);
    std::vector<bool> answersAnother(size_t(group.size()), false);
    for (const CallerRecord &entry : std::as_const(group))
        tree.ForEachAnswering(entry.Number.toLower().chopped(1),
                              [&](qsizetype i) { answersAnother[size_t(i)] = true; });
    QList<CallerRecord> ordered, answering;
    for (qsizetype i = 0; i < group.size(); ++i)
        (answersAnother[size_t(i)] ? answering : ordered).append(group[i]);
    if (answering.isEmpty())
        return;
    std::stable_sort(answering.begin(), answering.end(), [](const CallerRecord &a, const CallerRecord &b) {
        return a.Number.size() > b.Number.size();
    });
    group = ordered + answering;
}

bool usableKey(const QString &key)
{
    if (key.size() < kShortestPrefix)
        return false;
    try {
        CallerDirectory::CheckKey(key);
    } catch (const InvalidInput &) {
        return false;
    }
    return true;
}
} // namespace

int ContactImport::SkippedTotal() const
{
    int total = 0;
    for (int n : Skipped)
        total += n;
    return total;
}

QString ContactImport::Summary() const
{
    QString text = QCoreApplication::translate(
                       "ContactImport", "Neu: %1\rName geändert: %2\rUnverändert: %3\rÜbersprungen: %4")
                       .arg(New)
                       .arg(Renamed)
                       .arg(Unchanged)
                       .arg(SkippedTotal());
    const QString reasons[SkipCount] = {
        QCoreApplication::translate("ContactImport", "ohne Rufnummer"),
        QCoreApplication::translate("ContactImport", "ohne Namen"),
        QCoreApplication::translate("ContactImport", "Rufnummer unbrauchbar"),
        QCoreApplication::translate("ContactImport", "Rufnummer doppelt"),
        QCoreApplication::translate("ContactImport", "vom Benutzer anders benannt")};
    for (int i = 0; i < SkipCount; ++i) {
        if (Skipped[i] > 0)
            text += QStringLiteral("\r    %1: %2").arg(reasons[i]).arg(Skipped[i]);
    }
    return text;
}

QString DirectoryKeyOf(const QString &phone, const NumberPlan &plan, bool createNull)
{
    QString key = ContactNumber(phone, plan);
    if (key.isEmpty())
        return QString();
    // The line delivers a national number without its "0", another country's with its code (and
    // without its "00"); "Null erzeugen" puts back the prefix of each.
    if (key.startsWith(plan.Country)) {
        key.remove(0, plan.Country.size());
        return createNull ? QLatin1Char('0') + key : key;
    }
    return createNull ? QStringLiteral("00") + key : key;
}

ContactImport PlanContactImport(const QList<CallerRecord> &rows, const QList<Contact> &contacts,
                                const NumberPlan &plan, bool createNull, bool replaceNamed)
{
    ContactImport result;
    QList<CallerRecord> updated = rows;
    QHash<QString, qsizetype> byKey; // key -> row
    PrefixTree prefixes;             // prefix -> first row it answers for
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows[i].Number.isEmpty())
            continue; // a row the list drops when it is saved
        byKey.insert(rows[i].Number.toLower(), i);
        const QString prefix = prefixOf(rows[i].Number);
        if (prefix.size() >= kShortestPrefix)
            prefixes.Add(prefix, i);
    }
    // New entries by the row they go before (rows.size(): at the end).
    std::vector<QList<CallerRecord>> before(size_t(rows.size()) + 1);
    QSet<QString> seen;

    for (const Contact &contact : contacts) {
        if (contact.Phones.isEmpty()) {
            ++result.Skipped[ContactImport::NoNumber];
            continue;
        }
        const QString name = entryName(contact);
        if (name.isEmpty()) {
            ++result.Skipped[ContactImport::NoName];
            continue;
        }
        for (const QString &phone : contact.Phones) {
            const QString key = DirectoryKeyOf(phone, plan, createNull);
            if (!usableKey(key)) {
                ++result.Skipped[ContactImport::BadNumber];
                continue;
            }
            if (seen.contains(key.toLower())) {
                ++result.Skipped[ContactImport::Twice];
                continue;
            }
            seen.insert(key.toLower());

            if (const auto found = byKey.constFind(key.toLower()); found != byKey.cend()) {
                CallerRecord &entry = updated[found.value()];
                if (entry.Name == name) {
                    ++result.Unchanged;
                    continue;
                }
                // What the ring handler learned (the number, or nothing) is no name of the user's.
                const bool named = !entry.Name.isEmpty() && entry.Name != entry.Number;
                if (named) {
                    ++result.NamedDiffering;
                    if (!replaceNamed) {
                        ++result.Skipped[ContactImport::NamedOtherwise];
                        continue;
                    }
                }
                entry.Name = name; // the blocked flag stays as it is
                ++result.Renamed;
                continue;
            }

            // Before the first entry that answers the number now, and blocked like it.
            const qsizetype at = prefixes.FirstAnswering(key.toLower(), rows.size());
            const bool blocked = at < rows.size() && rows[at].Blocked;
            before[size_t(at)].append({key, name, blocked});
            ++result.New;
        }
    }

    for (QList<CallerRecord> &group : before)
        orderUnshadowed(group);
    result.Rows.reserve(updated.size() + result.New);
    for (qsizetype i = 0; i < updated.size(); ++i) {
        result.Rows += before[size_t(i)];
        result.Rows.append(updated[i]);
    }
    result.Rows += before.back();
    return result;
}

ContactImportPlans ReadContactImport(const QString &path, const QList<CallerRecord> &rows,
                                     const NumberPlan &plan, bool createNull)
{
    ContactImportPlans plans;
    try {
        const QList<Contact> contacts = ReadContactFile(path, &plans.Error);
        if (!plans.Error.isEmpty())
            return plans;
        if (contacts.isEmpty()) {
            plans.Error =
                QCoreApplication::translate("ContactImport", "%1 enthält keine Kontakte.").arg(path);
            return plans;
        }
        plans.KeepNamed = PlanContactImport(rows, contacts, plan, createNull, false);
        if (plans.KeepNamed.NamedDiffering > 0)
            plans.ReplaceNamed = PlanContactImport(rows, contacts, plan, createNull, true);
    } catch (const std::bad_alloc &) {
        // On a worker thread nobody would catch it: the user is told instead.
        plans = ContactImportPlans();
        plans.Error =
            QCoreApplication::translate("ContactImport", "%1 ist zu groß für den freien Speicher").arg(path);
    }
    return plans;
}
