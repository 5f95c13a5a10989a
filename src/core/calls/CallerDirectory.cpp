#include "calls/CallerDirectory.h"

#include "calls/StoreWorker.h"
#include "common/Paths.h"
#include "common/Utils.h"

#include <QCollator>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <numeric>
#include <optional>
#include <vector>

// The file is handled the way the Windows private-profile functions handle an initialisation
// file (section and key names without regard to ASCII case, first of duplicate keys and
// sections wins, blanks around keys and values and one pair of outer quotes stripped, new keys
// at the end of their section), but only the lines a change concerns are rewritten.

namespace {

constexpr QByteArrayView kSectionName("Anrufer");

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isEol(char c)
{
    return c == '\n' || c == '\r';
}

QByteArrayView trimmed(QByteArrayView v)
{
    qsizetype b = 0;
    qsizetype e = v.size();
    while (b < e && isBlank(v[b]))
        ++b;
    while (e > b && isBlank(v[e - 1]))
        --e;
    return v.sliced(b, e - b);
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

bool equalsNoCase(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

QByteArray lowerKey(QByteArrayView key)
{
    QByteArray out(key.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < key.size(); ++i)
        out[i] = lowerAscii(key[i]);
    return out;
}

// A value as read: blanks stripped, then one matching pair of outer quotes.
QByteArrayView unquoted(QByteArrayView value)
{
    if (value.size() >= 2 && value.front() == value.back() && (value.front() == '"' || value.front() == '\''))
        return value.sliced(1, value.size() - 2);
    return value;
}

// A value as written: quoted when reading would otherwise strip something from it.
QByteArray quotedForFile(const QByteArray &value)
{
    const bool needsQuotes = !value.isEmpty() && (isBlank(value.front()) || isBlank(value.back()) ||
                                                  unquoted(value).size() != value.size());
    return needsQuotes ? '"' + value + '"' : value;
}

// Calls fn(begin, end, next) for every line of data[from, to): `end` is where the line break
// starts, `next` where the following line starts. CR LF, LF and a lone CR all end a line.
template<typename Fn> void forEachLine(const QByteArray &data, qsizetype from, qsizetype to, Fn &&fn)
{
    const char *p = data.constData();
    qsizetype pos = from;
    while (pos < to) {
        const void *lf = std::memchr(p + pos, '\n', size_t(to - pos));
        const qsizetype lfAt = lf ? static_cast<const char *>(lf) - p : to;
        const void *cr = std::memchr(p + pos, '\r', size_t(lfAt - pos));
        qsizetype end = lfAt;
        qsizetype next = lf ? lfAt + 1 : to;
        if (cr) {
            end = static_cast<const char *>(cr) - p;
            if (!(lf && end + 1 == lfAt))
                next = end + 1; // a lone CR ends the line too
        }
        if (!fn(pos, end, next))
            return;
        pos = next;
    }
}

struct Entry
{
    QByteArrayView key;   // trimmed, as spelled in the file
    QByteArrayView value; // trimmed and unquoted
    qsizetype lineBegin;
};

// The first [Anrufer] section of a file and its entries in file order.
struct Section
{
    bool found = false;
    qsizetype headerBegin = 0;
    qsizetype bodyBegin = 0;
    qsizetype end = 0;        // where the next section's header starts, or the end of the data
    qsizetype contentEnd = 0; // after the last line of the body that is not blank
    std::vector<Entry> entries;
};

Section parseSection(const QByteArray &data)
{
    Section sec;
    sec.entries.reserve(data.size() / 24);
    forEachLine(data, 0, data.size(), [&](qsizetype begin, qsizetype end, qsizetype next) {
        const QByteArrayView line = trimmed(QByteArrayView(data.constData() + begin, end - begin));
        if (!line.isEmpty() && line.front() == '[') {
            if (sec.found) {
                sec.end = begin;
                return false;
            }
            QByteArrayView name = line.sliced(1);
            const qsizetype close = name.lastIndexOf(']');
            if (close >= 0)
                name = name.first(close);
            if (equalsNoCase(trimmed(name), kSectionName)) {
                sec.found = true;
                sec.headerBegin = begin;
                sec.bodyBegin = sec.contentEnd = sec.end = next;
            }
            return true;
        }
        if (!sec.found)
            return true;
        sec.end = next;
        if (line.isEmpty())
            return true;
        sec.contentEnd = next;
        if (line.front() == ';')
            return true;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            return true;
        const QByteArrayView key = trimmed(line.first(eq));
        if (!key.isEmpty())
            sec.entries.push_back({key, unquoted(trimmed(line.sliced(eq + 1))), begin});
        return true;
    });
    return sec;
}

QByteArray lineBreakOf(const QByteArray &data)
{
    const qsizetype at = std::find_if(data.begin(), data.end(), isEol) - data.begin();
    if (at == data.size() || (data[at] == '\r' && at + 1 < data.size() && data[at + 1] == '\n'))
        return QByteArrayLiteral("\r\n");
    return QByteArray(1, data[at]);
}

bool endsWithEol(const QByteArray &bytes)
{
    return !bytes.isEmpty() && isEol(bytes.back());
}

// The file as lines, for changes: the section [Anrufer] line by line, the rest as it is.
class ProfileEdit
{
public:
    explicit ProfileEdit(const QByteArray &data) : m_eol(lineBreakOf(data)) { load(data); }

    // Writes a value (file bytes, unquoted) under a key.
    void set(const QByteArray &key, const QByteArray &value)
    {
        if (!m_hasSection) {
            if (!m_before.isEmpty() && !endsWithEol(m_before))
                m_before += m_eol;
            m_header = '[' + kSectionName.toByteArray() + ']' + m_eol;
            m_hasSection = true;
            m_changed = true;
        }
        const QByteArray lower = lowerKey(key);
        const auto it = m_index.find(lower);
        if (it != m_index.end()) {
            if (it->value == value)
                return; // unchanged: the file stays untouched
            QByteArray &line = m_body[it->line];
            qsizetype eolAt = line.size();
            while (eolAt > 0 && isEol(line[eolAt - 1]))
                --eolAt;
            line = it->key + '=' + quotedForFile(value) + line.sliced(eolAt);
            it->value = value;
            m_changed = true;
            return;
        }
        QByteArray &previous = m_contentLines ? m_body[m_contentLines - 1] : m_header;
        if (!endsWithEol(previous))
            previous += m_eol;
        m_body.insert(m_body.begin() + m_contentLines, key + '=' + quotedForFile(value) + m_eol);
        m_index.insert(lower, {m_contentLines, key, value});
        ++m_contentLines;
        m_changed = true;
    }

    // Removes the header and every line of the section up to its last non-blank one.
    void eraseSection()
    {
        if (!m_hasSection)
            return;
        QByteArray rest = m_before;
        for (size_t i = m_contentLines; i < m_body.size(); ++i)
            rest += m_body[i];
        rest += m_after;
        m_changed = true;
        load(rest); // a later [Anrufer] section, if any, is the one seen from now on
    }

    bool changed() const { return m_changed; }

    QByteArray bytes() const
    {
        QByteArray out = m_before + m_header;
        for (const QByteArray &line : m_body)
            out += line;
        return out + m_after;
    }

private:
    struct Indexed
    {
        size_t line;
        QByteArray key;   // as spelled in the file
        QByteArray value; // as read
    };

    void load(const QByteArray &data)
    {
        const Section sec = parseSection(data);
        m_body.clear();
        m_index.clear();
        m_contentLines = 0;
        m_hasSection = sec.found;
        if (!sec.found) {
            m_before = data;
            m_header.clear();
            m_after.clear();
            return;
        }
        m_before = data.first(sec.headerBegin);
        m_header = data.sliced(sec.headerBegin, sec.bodyBegin - sec.headerBegin);
        m_after = data.sliced(sec.end);
        m_index.reserve(qsizetype(sec.entries.size()));
        size_t entry = 0;
        forEachLine(data, sec.bodyBegin, sec.end, [&](qsizetype begin, qsizetype, qsizetype next) {
            const size_t index = m_body.size();
            m_body.push_back(data.sliced(begin, next - begin));
            if (next <= sec.contentEnd)
                m_contentLines = index + 1;
            if (entry < sec.entries.size() && sec.entries[entry].lineBegin == begin) {
                const Entry &e = sec.entries[entry++];
                const QByteArray lower = lowerKey(e.key);
                if (!m_index.contains(lower))
                    m_index.insert(lower, {index, e.key.toByteArray(), e.value.toByteArray()});
            }
            return true;
        });
    }

    QByteArray m_eol;
    QByteArray m_before; // everything before the section (the whole file when there is none)
    QByteArray m_header;
    std::vector<QByteArray> m_body; // the section's lines, line breaks included
    size_t m_contentLines = 0;      // lines up to the last that is not blank
    QByteArray m_after;             // from the next section on
    QHash<QByteArray, Indexed> m_index;
    bool m_hasSection = false;
    bool m_changed = false;
};

// A change waiting for the worker thread: the value `value` under `key`, both as file bytes.
struct Pending
{
    quint64 seq;
    QByteArray key;
    QByteArray lower;
    QByteArray value;
};

QString cannotWrite(const QString &path)
{
    return QStringLiteral("nach %1 kann nicht geschrieben werden").arg(path);
}

} // namespace

struct CallerDirectory::Private
{
    explicit Private(const QString &p) : path(p), worker([this] { save({}); }) {}

    // What one read operation sees: the file, read once, and the changes still queued. The
    // queue is copied before the file is read: the worker replaces the file before it drops
    // what it wrote from the queue, so a change is always in one of the two (or in both, which
    // reads the same, since a queued change is only "this value under this key").
    struct View
    {
        std::vector<Pending> pending;
        QByteArray data;
        Section sec;
        // Pending keys the file does not hold, each once, in queue order.
        std::vector<const Pending *> added;

        // The value queued last under `key`, if any.
        const QByteArray *queuedValueOf(QByteArrayView key) const
        {
            for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
                if (equalsNoCase(it->key, key))
                    return &it->value;
            }
            return nullptr;
        }

        // The value under `key` (file bytes), the queue winning over the file.
        std::optional<QByteArray> valueOf(QByteArrayView key) const
        {
            if (const QByteArray *queued = queuedValueOf(key))
                return *queued;
            for (const Entry &e : sec.entries) {
                if (equalsNoCase(e.key, key))
                    return e.value.toByteArray();
            }
            return std::nullopt;
        }
    };

    View view() const
    {
        View v;
        {
            std::lock_guard guard(pendingLock);
            v.pending = pending;
        }
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            v.data = file.readAll();
        v.sec = parseSection(v.data);
        for (const Pending &p : v.pending) {
            const auto sameKey = [&](const auto &e) { return equalsNoCase(e.key, p.key); };
            if (std::none_of(v.sec.entries.begin(), v.sec.entries.end(), sameKey) &&
                std::none_of(v.added.begin(), v.added.end(), [&](const Pending *a) { return sameKey(*a); }))
                v.added.push_back(&p);
        }
        return v;
    }

    // Every entry once, in file order, queued additions last, with the values that stand.
    template<typename Fn> void forEachEntry(const View &v, Fn &&fn) const
    {
        QSet<QByteArray> seen;
        seen.reserve(qsizetype(v.sec.entries.size()));
        for (const Entry &e : v.sec.entries) {
            const QByteArray lower = lowerKey(e.key);
            if (seen.contains(lower))
                continue;
            seen.insert(lower);
            const QByteArray *queued = v.queuedValueOf(e.key);
            fn(e.key, queued ? *queued : e.value.toByteArray());
        }
        for (const Pending *p : v.added)
            fn(QByteArrayView(p->key), *v.queuedValueOf(p->key));
    }

    // One read-modify-write: the queue, then `change`, saved in one atomic replacement. Only
    // what reached the file leaves the queue.
    void save(const std::function<void(ProfileEdit &)> &change)
    {
        std::lock_guard io(ioLock);
        std::vector<Pending> queued;
        {
            std::lock_guard guard(pendingLock);
            queued = pending;
        }
        QByteArray data;
        QFile in(path);
        if (in.open(QIODevice::ReadOnly))
            data = in.readAll();
        else if (in.exists())
            throw IoError(cannotWrite(path), path); // do not replace a file we cannot read
        ProfileEdit edit(data);
        for (const Pending &p : queued)
            edit.set(p.key, p.value);
        if (change)
            change(edit);
        if (edit.changed()) {
            ForceDirectoriesEx(QFileInfo(path).absolutePath());
            WriteFileAtomic(path, edit.bytes());
        }
        if (!queued.empty()) {
            std::lock_guard guard(pendingLock);
            const quint64 last = queued.back().seq;
            pending.erase(pending.begin(), std::find_if(pending.begin(), pending.end(),
                                                        [&](const Pending &p) { return p.seq > last; }));
        }
    }

    const QString path;
    mutable std::mutex pendingLock;
    std::vector<Pending> pending;
    quint64 nextSeq = 1;
    std::mutex ioLock;
    StoreWorker worker; // last: stops before the rest goes away
};

CallerDirectory::CallerDirectory(const QString &path) : d(std::make_unique<Private>(path)) {}

CallerDirectory::~CallerDirectory()
{
    d->worker.finish([this] { return HasPending(); });
}

QString CallerDirectory::defaultPath()
{
    return Paths::dataDir() + QStringLiteral("anruf.dat");
}

QString CallerDirectory::path() const
{
    return d->path;
}

QStringList CallerDirectory::ListKeys() const
{
    const Private::View v = d->view();
    QStringList keys;
    keys.reserve(qsizetype(v.sec.entries.size() + v.added.size()));
    d->forEachEntry(v, [&](QByteArrayView key, const QByteArray &) { keys << DecodeAnsi(key); });
    return keys;
}

QString CallerDirectory::ReadValue(const QString &key) const
{
    const Private::View v = d->view();
    const auto value = v.valueOf(EncodeAnsi(key.trimmed()));
    return value ? DecodeOem(*value) : QString();
}

ResolvedCaller CallerDirectory::MatchCaller(const QString &number) const
{
    ResolvedCaller r;
    r.Number = number.isEmpty() ? QStringLiteral("0") : number;
    r.Text = number;
    const QByteArray wanted = EncodeAnsi(r.Number);
    const auto matches = [&](QByteArrayView key) {
        const qsizetype star = key.indexOf('*');
        const QByteArrayView prefix = star < 0 ? key : key.first(star);
        return prefix.size() >= 2 && QByteArrayView(wanted).startsWith(prefix);
    };

    const Private::View v = d->view();
    std::optional<QByteArrayView> matched;
    for (const Entry &e : v.sec.entries) {
        if (matches(e.key)) {
            matched = e.key;
            break;
        }
    }
    for (size_t i = 0; !matched && i < v.added.size(); ++i) {
        if (matches(v.added[i]->key))
            matched = v.added[i]->key;
    }
    if (!matched)
        return r;

    // A group key is read back under its prefix followed by "*".
    const qsizetype star = matched->indexOf('*');
    const QByteArray readKey = star < 0 ? matched->toByteArray() : matched->first(star + 1).toByteArray();
    r.Found = true;
    r.MatchedKey = DecodeAnsi(readKey);
    r.Text = DecodeOem(v.valueOf(readKey).value_or(QByteArray()));
    QString name;
    SplitValue(r.Text, &name, &r.Blocked);
    return r;
}

QString CallerDirectory::FinishCallerText(const QString &text, const QString &number)
{
    QString result = text;
    // A found entry without a name (only its flag and marker) shows the number.
    if (result.isEmpty() || (result.size() == 2 && result.at(1) == QLatin1Char('#')))
        result = number.isEmpty() ? QStringLiteral("0") : number;
    if (number.size() < 2)
        result = QStringLiteral("Analog");
    return result;
}

ResolvedCaller CallerDirectory::ResolveCaller(const QString &number) const
{
    ResolvedCaller r = MatchCaller(number);
    r.Text = FinishCallerText(r.Text, r.Number);
    return r;
}

QList<CallerRecord> CallerDirectory::ReadCallerList(CallerSortOrder order) const
{
    const Private::View v = d->view();
    QList<CallerRecord> records;
    records.reserve(qsizetype(v.sec.entries.size() + v.added.size()));
    d->forEachEntry(v, [&](QByteArrayView key, const QByteArray &value) {
        CallerRecord record;
        record.Number = DecodeAnsi(key);
        SplitValue(DecodeOem(value), &record.Name, &record.Blocked);
        records.append(std::move(record));
    });

    // Name then number (or number then name), then the mark, each field compared
    // case-insensitively in the user's locale. Records that compare equal keep file order:
    // none is dropped, since keys are already unique.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<QCollatorSortKey> first;
    std::vector<QCollatorSortKey> second;
    first.reserve(records.size());
    second.reserve(records.size());
    for (const CallerRecord &r : std::as_const(records)) {
        const bool byName = order == CallerSortOrder::ByName;
        first.push_back(collator.sortKey(byName ? r.Name : r.Number));
        second.push_back(collator.sortKey(byName ? r.Number : r.Name));
    }
    std::vector<qsizetype> index(records.size());
    std::iota(index.begin(), index.end(), 0);
    std::stable_sort(index.begin(), index.end(), [&](qsizetype a, qsizetype b) {
        if (const int c = first[a].compare(first[b]))
            return c < 0;
        if (const int c = second[a].compare(second[b]))
            return c < 0;
        return records[a].Blocked < records[b].Blocked;
    });
    QList<CallerRecord> sorted;
    sorted.reserve(records.size());
    for (const qsizetype i : index)
        sorted.append(std::move(records[i]));
    return sorted;
}

void CallerDirectory::WriteValue(const QString &key, const QString &value)
{
    CheckKey(key);
    CheckValue(key, value);
    d->save([&](ProfileEdit &edit) { edit.set(EncodeAnsi(key), EncodeOem(value)); });
}

void CallerDirectory::EraseAll()
{
    d->save([](ProfileEdit &edit) { edit.eraseSection(); });
}

void CallerDirectory::AddCaller(const QString &number, const QString &name)
{
    WriteValue(number.isEmpty() ? QStringLiteral("0") : number, JoinValue(name, false));
}

void CallerDirectory::WriteCaller(const QString &number, const QString &name, bool blocked)
{
    WriteValue(number, JoinValue(name, blocked));
}

void CallerDirectory::WriteCallerList(const QList<CallerRecord> &rows)
{
    // Everything is checked before anything is written, and the erase and every row go into
    // one replacement of the file: a failure part-way loses no entry.
    std::vector<std::pair<QByteArray, QByteArray>> lines;
    lines.reserve(rows.size());
    for (const CallerRecord &row : rows) {
        if (row.Number.isEmpty())
            continue;
        const QString value = JoinValue(row.Name, row.Blocked);
        CheckKey(row.Number);
        CheckValue(row.Number, value);
        lines.emplace_back(EncodeAnsi(row.Number), EncodeOem(value));
    }
    d->save([&](ProfileEdit &edit) {
        edit.eraseSection();
        for (const auto &[key, value] : lines)
            edit.set(key, value);
    });
}

void CallerDirectory::QueueAddCaller(const QString &number, const QString &name)
{
    const QString key = number.isEmpty() ? QStringLiteral("0") : number;
    const QString value = JoinValue(name, false);
    CheckKey(key);
    CheckValue(key, value);
    {
        std::lock_guard guard(d->pendingLock);
        const QByteArray bytes = EncodeAnsi(key);
        d->pending.push_back({d->nextSeq++, bytes, lowerKey(bytes), EncodeOem(value)});
    }
    d->worker.wake();
}

void CallerDirectory::Flush()
{
    d->save({});
}

bool CallerDirectory::HasPending() const
{
    std::lock_guard guard(d->pendingLock);
    return !d->pending.empty();
}

void CallerDirectory::SetWriteErrorHandler(std::function<void(const IoError &)> handler)
{
    d->worker.setErrorHandler(std::move(handler));
}

void CallerDirectory::SplitValue(const QString &value, QString *name, bool *blocked)
{
    const bool marked = value.size() >= 2 && value.at(1) == QLatin1Char('#');
    if (name)
        *name = marked ? value.sliced(2) : value;
    if (blocked)
        *blocked = marked && value.at(0) == QLatin1Char('T');
}

QString CallerDirectory::JoinValue(const QString &name, bool blocked)
{
    return (blocked ? QStringLiteral("T#") : QStringLiteral("F#")) + name;
}

void CallerDirectory::CheckKey(const QString &key)
{
    const auto refuse = [&](const QString &why) {
        throw InvalidInput(
            QStringLiteral("Die Nummer \"%1\" kann nicht gespeichert werden: %2").arg(key, why));
    };
    if (key.trimmed().isEmpty())
        refuse(QStringLiteral("sie ist leer"));
    if (key.contains(QLatin1Char('\n')) || key.contains(QLatin1Char('\r')) || key.contains(QChar(0)))
        refuse(QStringLiteral("sie enthält einen Zeilenumbruch"));
    if (key.contains(QLatin1Char('=')) || key.contains(QLatin1Char('[')) || key.contains(QLatin1Char(']')))
        refuse(QStringLiteral("sie enthält \"=\", \"[\" oder \"]\""));
    if (key.startsWith(QLatin1Char(';')))
        refuse(QStringLiteral("sie beginnt mit \";\""));
    if (key.front().isSpace() || key.back().isSpace())
        refuse(QStringLiteral("sie beginnt oder endet mit einem Leerzeichen"));
    if (!IsAnsiText(key))
        refuse(QStringLiteral("sie enthält Zeichen, die die Datei nicht aufnehmen kann"));
}

void CallerDirectory::CheckValue(const QString &key, const QString &value)
{
    const auto refuse = [&](const QString &why) {
        throw InvalidInput(
            QStringLiteral("Der Eintrag zu \"%1\" kann nicht gespeichert werden: %2").arg(key, why));
    };
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')) || value.contains(QChar(0)))
        refuse(QStringLiteral("er enthält einen Zeilenumbruch"));
    if (value.size() > kMaxValueLength)
        refuse(QStringLiteral("er ist länger als %1 Zeichen").arg(kMaxValueLength));
}
