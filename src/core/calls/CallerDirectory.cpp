#include "calls/CallerDirectory.h"

#include "calls/StoreWorker.h"
#include "common/FileStamp.h"
#include "common/Paths.h"
#include "common/Utils.h"

#include <QCollator>
#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <linux/magic.h>
#include <mutex>
#include <numeric>
#include <optional>
#include <queue>
#include <sys/statfs.h>
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

// Prefixes shorter than this never match a number.
constexpr qsizetype kShortestPrefix = 2;

// The part of a key a number must begin with: a group key's text before its first "*", else
// the whole key.
QByteArrayView prefixOf(QByteArrayView key)
{
    const qsizetype star = key.indexOf('*');
    return star < 0 ? key : key.first(star);
}

// Whether the entry of `key` answers a look-up of `text` (a number, or another key as it is
// looked up): its prefix, of at least 2 characters, begins the text.
bool answers(QByteArrayView key, QByteArrayView text)
{
    const QByteArrayView prefix = prefixOf(key);
    return prefix.size() >= kShortestPrefix && text.startsWith(prefix);
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

    // Writes a value under a key so that a look-up of the key finds it: as set(), but when
    // another entry would answer the key first (a group key such as 030*, or a shorter number),
    // the entry goes right before the first such entry, and an entry of the key that stands
    // behind it moves there (keeping its spelling).
    void setFirst(const QByteArray &key, const QByteArray &value)
    {
        const QByteArray lower = lowerKey(key);
        std::optional<size_t> first;
        for (auto it = m_index.cbegin(); it != m_index.cend(); ++it) {
            if (it.key() != lower && answers(it->key, key) && (!first || it->line < *first))
                first = it->line;
        }
        const auto own = m_index.find(lower);
        if (!first || (own != m_index.end() && own->line < *first)) {
            set(key, value);
            return;
        }
        QByteArray spelled = key;
        if (own != m_index.end()) {
            spelled = own->key;
            const size_t from = own->line;
            m_index.erase(own);
            m_body.erase(m_body.begin() + qsizetype(from));
            --m_contentLines;
            for (Indexed &entry : m_index) {
                if (entry.line > from)
                    --entry.line;
            }
        }
        // The entry answering first stood before the one that moved: its line is where it was.
        const size_t at = *first;
        for (Indexed &entry : m_index) {
            if (entry.line >= at)
                ++entry.line;
        }
        m_body.insert(m_body.begin() + qsizetype(at), spelled + '=' + quotedForFile(value) + m_eol);
        ++m_contentLines;
        m_index.insert(lower, {at, spelled, value});
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

    bool contains(const QByteArray &key) const { return m_index.contains(lowerKey(key)); }

    // The section's entries in file order (the first of duplicate keys), as (key, value).
    std::vector<std::pair<QByteArray, QByteArray>> entries() const
    {
        std::vector<const Indexed *> ordered;
        ordered.reserve(size_t(m_index.size()));
        for (const Indexed &entry : m_index)
            ordered.push_back(&entry);
        std::sort(ordered.begin(), ordered.end(),
                  [](const Indexed *a, const Indexed *b) { return a->line < b->line; });
        std::vector<std::pair<QByteArray, QByteArray>> out;
        out.reserve(ordered.size());
        for (const Indexed *entry : ordered)
            out.emplace_back(entry->key, entry->value);
        return out;
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

// How coarse the time stamps of the file system that holds `path` may be: the local Linux file
// systems stamp with the kernel's clock tick (a few milliseconds); others may keep whole seconds
// (FAT); network and FUSE file systems stamp with another clock, so a read there is never
// trusted (-1) and the bytes are always compared.
qint64 stampGrainNs(const QString &path)
{
    struct statfs fs
    {
    };
    if (::statfs(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &fs) != 0)
        return -1;
    switch (quint32(fs.f_type)) {
    case EXT4_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case F2FS_SUPER_MAGIC:
        return 50000000;
    case NFS_SUPER_MAGIC:
    case 0xFE534D42: // SMB2
    case CIFS_SUPER_MAGIC:
    case FUSE_SUPER_MAGIC:
        return -1;
    default:
        return 2000000000;
    }
}

// The key a matched entry is read back under: a group key's prefix followed by "*", else the key.
QByteArrayView readKeyOf(QByteArrayView key)
{
    const qsizetype star = key.indexOf('*');
    return star < 0 ? key : key.first(star + 1);
}

// The keys arranged for look-ups: which key a number matches first, and the value that stands
// under each key.
struct KeyIndex
{
    // Per matching key (prefix of at least 2 characters), in order: the key its entry is read
    // back under.
    std::vector<QByteArray> readKeys;
    // Each prefix and the first of those keys that has it.
    QHash<QByteArray, size_t> firstByPrefix;
    qsizetype shortest = 0;
    qsizetype longest = -1;
    // The value that stands under each key (lower case): the first one.
    QHash<QByteArray, QByteArray> values;

    void add(QByteArrayView key, const QByteArray &value)
    {
        const QByteArray lower = lowerKey(key);
        if (!values.contains(lower))
            values.insert(lower, value);
        const QByteArrayView prefix = prefixOf(key);
        if (prefix.size() < kShortestPrefix)
            return;
        const QByteArray prefixBytes = prefix.toByteArray();
        if (!firstByPrefix.contains(prefixBytes))
            firstByPrefix.insert(prefixBytes, readKeys.size());
        readKeys.push_back(readKeyOf(key).toByteArray());
        shortest = longest < 0 ? prefix.size() : std::min(shortest, prefix.size());
        longest = std::max(longest, prefix.size());
    }

    // The first key in order whose prefix begins `number`: of every beginning of the number, the
    // prefix whose first key comes first. Its read key.
    std::optional<QByteArray> firstMatch(QByteArrayView number) const
    {
        std::optional<size_t> first;
        for (qsizetype length = shortest; length <= std::min(longest, number.size()); ++length) {
            const auto it = firstByPrefix.constFind(number.first(length).toByteArray());
            if (it != firstByPrefix.constEnd() && (!first || *it < *first))
                first = *it;
        }
        return first ? std::optional<QByteArray>(readKeys[*first]) : std::nullopt;
    }
};

// The file's bytes as one read found them, and their parse.
struct Parsed
{
    QByteArray data;
    Section sec; // views into `data`

    static std::shared_ptr<const Parsed> of(QByteArray data)
    {
        auto p = std::make_shared<Parsed>();
        p->data = std::move(data);
        p->sec = parseSection(p->data);
        return p;
    }

    // The section's entries for look-ups, made on first use.
    const KeyIndex &index() const
    {
        std::call_once(m_indexMade, [this] {
            m_index.readKeys.reserve(sec.entries.size());
            m_index.values.reserve(qsizetype(sec.entries.size()));
            for (const Entry &e : sec.entries)
                m_index.add(e.key, e.value.toByteArray());
        });
        return m_index;
    }

private:
    mutable std::once_flag m_indexMade;
    mutable KeyIndex m_index;
};

// The last read of the file and the identity the file had then. Trusted while the file keeps
// that identity, provided the file had settled when it was read (FileStamp::SettledBefore);
// one that is not trusted is compared with the file's bytes at the next read, which spares the
// parse when they are the same.
struct Snapshot
{
    std::shared_ptr<const Parsed> parsed;
    FileStamp identity;
    bool trusted = false;
};

// The wall clock, which the file system stamps files with (the program's Clock may be set to
// another time).
qint64 wallClockNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

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
    return QCoreApplication::translate("CallerDirectory", "nach %1 kann nicht geschrieben werden").arg(path);
}

// A look-up before any key matched.
ResolvedCaller unresolved(const QString &number)
{
    ResolvedCaller r;
    r.Number = number.isEmpty() ? QStringLiteral("0") : number;
    r.Text = number;
    return r;
}

void setMatch(ResolvedCaller &r, QByteArrayView readKey, const QByteArray &value)
{
    r.Found = true;
    r.MatchedKey = DecodeAnsi(readKey);
    r.Text = DecodeOem(value);
    CallerDirectory::SplitValue(r.Text, nullptr, &r.Blocked);
}

// A text folded to one case, for comparing without regard to case: as QString::toCaseFolded,
// with a quick way through the ASCII letters that names mostly consist of.
QString foldedCase(const QString &text)
{
    QString folded(text.size(), Qt::Uninitialized);
    QChar *to = folded.data();
    for (const QChar c : text) {
        if (c.isSurrogate())
            return text.toCaseFolded();
        const char16_t u = c.unicode();
        *to++ = u < 0x80 ? QChar(u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u) : c.toCaseFolded();
    }
    return folded;
}

// An entry a list save writes: file bytes, and its place in the file as it is (-1 for a new one).
struct ListEntry
{
    QByteArray key;
    QByteArray value;
    qsizetype filePos;
};

// The order a list save writes `entries` in: their own order, except that entries the file holds
// that answer the same numbers (one's prefix begins the other's: 030* and 0301234567) keep the
// order the file gave them, so that a save changes no look-up by reordering.
std::vector<size_t> answeringOrder(const std::vector<ListEntry> &entries)
{
    const size_t n = entries.size();
    std::vector<QByteArrayView> prefixes(n);
    for (size_t i = 0; i < n; ++i)
        prefixes[i] = prefixOf(entries[i].key);
    // The entries of the file that can answer, in file order (each place in the file is one
    // entry's), then grouped by prefix, each group in file order.
    qsizetype places = 0;
    for (const ListEntry &entry : entries)
        places = std::max(places, entry.filePos + 1);
    constexpr size_t kNone = ~size_t(0);
    std::vector<size_t> atPlace(size_t(places), kNone);
    for (size_t i = 0; i < n; ++i) {
        if (entries[i].filePos >= 0 && prefixes[i].size() >= kShortestPrefix)
            atPlace[size_t(entries[i].filePos)] = i;
    }
    std::vector<size_t> inFile;
    inFile.reserve(n);
    for (const size_t i : atPlace) {
        if (i != kNone)
            inFile.push_back(i);
    }
    const auto inFileOrder = [&](size_t a, size_t b) { return entries[a].filePos < entries[b].filePos; };
    struct Run
    {
        size_t begin = 0;
        size_t size = 0;
    };
    QHash<QByteArrayView, Run> runs;
    runs.reserve(qsizetype(inFile.size()));
    std::vector<bool> lengthUsed; // whether any prefix has that length
    for (const size_t i : inFile) {
        ++runs[prefixes[i]].size;
        if (size_t(prefixes[i].size()) >= lengthUsed.size())
            lengthUsed.resize(size_t(prefixes[i].size()) + 1);
        lengthUsed[size_t(prefixes[i].size())] = true;
    }
    size_t offset = 0;
    for (Run &run : runs) {
        run.begin = offset;
        offset += std::exchange(run.size, 0);
    }
    std::vector<size_t> grouped(inFile.size());
    for (const size_t i : inFile) {
        Run &run = runs[prefixes[i]];
        grouped[run.begin + run.size++] = i;
    }

    // The entries of one prefix stay in file order among themselves; an entry with a longer
    // prefix stays between the same two of them as in the file. That keeps every pair that
    // shares numbers in file order, with at most two constraints per entry and shorter prefix.
    std::vector<std::pair<size_t, size_t>> constraints; // (first, then)
    for (const Run &run : std::as_const(runs)) {
        for (size_t k = run.begin + 1; k < run.begin + run.size; ++k)
            constraints.emplace_back(grouped[k - 1], grouped[k]);
    }
    for (const size_t b : inFile) {
        for (qsizetype length = kShortestPrefix; length < prefixes[b].size(); ++length) {
            if (!lengthUsed[size_t(length)])
                continue;
            const auto run = runs.constFind(prefixes[b].first(length));
            if (run == runs.constEnd())
                continue;
            const auto begin = grouped.begin() + qsizetype(run->begin);
            const auto end = begin + qsizetype(run->size);
            const auto next = std::lower_bound(begin, end, b, inFileOrder);
            if (next != begin)
                constraints.emplace_back(*(next - 1), b);
            if (next != end)
                constraints.emplace_back(b, *next);
        }
    }
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), size_t(0));
    if (constraints.empty())
        return order;

    // The entries that must follow each one, and how many each waits for.
    std::vector<size_t> waitingFor(n, 0);
    std::vector<size_t> laterBegin(n + 1, 0);
    for (const auto &[first, then] : constraints) {
        ++waitingFor[then];
        ++laterBegin[first + 1];
    }
    std::partial_sum(laterBegin.begin(), laterBegin.end(), laterBegin.begin());
    std::vector<size_t> later(constraints.size());
    std::vector<size_t> filled(laterBegin.begin(), laterBegin.end() - 1);
    for (const auto &[first, then] : constraints)
        later[filled[first]++] = then;
    // Each step takes the first entry, in the given order, that waits for none: the next one
    // in order, or one passed over while it waited that is free now.
    std::priority_queue<size_t, std::vector<size_t>, std::greater<>> freed;
    std::vector<bool> taken(n, false);
    size_t cursor = 0;
    for (size_t step = 0; step < n; ++step) {
        while (cursor < n && (taken[cursor] || waitingFor[cursor] > 0))
            ++cursor;
        size_t i = cursor;
        if (!freed.empty() && (cursor == n || freed.top() < cursor)) {
            i = freed.top();
            freed.pop();
        }
        Q_ASSERT(i < n); // every constraint follows the file's order: there is no cycle
        order[step] = i;
        taken[i] = true;
        for (size_t k = laterBegin[i]; k < laterBegin[i + 1]; ++k) {
            if (--waitingFor[later[k]] == 0 && later[k] < cursor)
                freed.push(later[k]);
        }
    }
    return order;
}

} // namespace

struct CallerDirectory::Private
{
    explicit Private(const QString &p) : path(p), worker([this] { save({}); }) {}

    // The file's bytes (an absent or unreadable file reads as none); nullopt when it exists but
    // cannot be read.
    std::optional<QByteArray> read() const
    {
        if (memory) {
            std::lock_guard guard(memoryLock);
            return *memory;
        }
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
        if (file.exists())
            return std::nullopt;
        return QByteArray();
    }

    void write(const QByteArray &bytes)
    {
        if (memory) {
            std::lock_guard guard(memoryLock);
            *memory = bytes;
            return;
        }
        ForceDirectoriesEx(QFileInfo(path).absolutePath());
        WriteFileAtomic(path, bytes);
    }

    // What one read operation sees: the file as last read, and the additions still queued. The
    // queue is copied before the file is looked at: the worker replaces the file before it drops
    // what it wrote from the queue, so an addition is always in one of the two (or in both,
    // which reads the same: a queued addition stands only for a key the file does not hold).
    struct View
    {
        std::vector<Pending> pending;
        std::shared_ptr<const Parsed> file;
        // Queued additions of keys the file does not hold, each key once, in queue order.
        std::vector<const Pending *> added;

        const Section &sec() const { return file->sec; }

        // The value under `key` (file bytes).
        std::optional<QByteArray> valueOf(QByteArrayView key) const
        {
            for (const Pending *p : added) {
                if (equalsNoCase(p->key, key))
                    return p->value;
            }
            const KeyIndex &index = file->index();
            const auto it = index.values.constFind(lowerKey(key));
            return it != index.values.constEnd() ? std::optional<QByteArray>(*it) : std::nullopt;
        }
    };

    View view() const
    {
        View v;
        {
            std::lock_guard guard(pendingLock);
            v.pending = pending;
        }
        v.file = current();
        if (!v.pending.empty()) {
            const QHash<QByteArray, QByteArray> &present = v.file->index().values;
            QSet<QByteArray> queued;
            for (const Pending &p : v.pending) {
                if (!present.contains(p.lower) && !queued.contains(p.lower)) {
                    queued.insert(p.lower);
                    v.added.push_back(&p);
                }
            }
        }
        return v;
    }

    // The file as it is now: the last read when the file has not changed since, else read
    // again (and parsed again when its bytes differ).
    std::shared_ptr<const Parsed> current() const
    {
        if (memory) {
            // No file to compare with: the bytes themselves tell whether the last read stands.
            QByteArray data = read().value_or(QByteArray());
            std::lock_guard guard(cacheLock);
            if (!cache.parsed || cache.parsed->data != data)
                cache.parsed = Parsed::of(std::move(data));
            return cache.parsed;
        }
        Snapshot last;
        {
            std::lock_guard guard(cacheLock);
            last = cache;
        }
        const qint64 now = wallClockNs();
        const FileStamp before = FileStamp::Of(path);
        if (last.parsed && last.trusted && last.identity == before)
            return last.parsed;
        QByteArray data;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            data = file.readAll();
        if (!last.parsed || last.parsed->data != data) {
            // A save of this program may be replacing the file, or have replaced it, while it
            // was read.
            std::lock_guard guard(cacheLock);
            if (writing && writing->data == data)
                last.parsed = writing;
            else if (cache.parsed && cache.parsed->data == data)
                last.parsed = cache.parsed;
        }
        Snapshot fresh;
        fresh.identity = FileStamp::Of(path);
        fresh.trusted = fresh.identity == before && before.SettledBefore(now, stampGrainNs(path));
        fresh.parsed = last.parsed && last.parsed->data == data ? last.parsed : Parsed::of(std::move(data));
        std::shared_ptr<const Parsed> old;
        std::lock_guard guard(cacheLock);
        old = std::exchange(cache.parsed, fresh.parsed);
        cache = fresh;
        // Freed by the next save rather than here, on the thread that answers rings.
        if (old && old != fresh.parsed && dropped.size() < 4)
            dropped.push_back(std::move(old));
        return fresh.parsed;
    }

    // Every entry once, in file order, queued additions last, with the values that stand.
    template<typename Fn> void forEachEntry(const View &v, Fn &&fn) const
    {
        QSet<QByteArray> seen;
        seen.reserve(qsizetype(v.sec().entries.size()));
        for (const Entry &e : v.sec().entries) {
            const QByteArray lower = lowerKey(e.key);
            if (seen.contains(lower))
                continue;
            seen.insert(lower);
            fn(e.key, e.value.toByteArray());
        }
        for (const Pending *p : v.added)
            fn(QByteArrayView(p->key), p->value);
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
        // Another writer (an editor, another copy of this program) may replace the file while
        // it is read and edited here; saving then would undo its change. The edit starts over
        // from what it wrote, a few times, and gives up rather than lose it.
        int attempts = 0;
        while (!saveOnce(queued, change)) {
            if (++attempts == 5)
                throw IoError(cannotWrite(path), path);
        }
        std::vector<std::shared_ptr<const Parsed>> freed;
        {
            std::lock_guard guard(cacheLock);
            freed.swap(dropped);
        }
        if (!queued.empty()) {
            std::lock_guard guard(pendingLock);
            const quint64 last = queued.back().seq;
            pending.erase(pending.begin(), std::find_if(pending.begin(), pending.end(),
                                                        [&](const Pending &p) { return p.seq > last; }));
        }
    }

    // The edit of one save on the file as it is now; false, with nothing written, when the file
    // changed while it was edited.
    bool saveOnce(const std::vector<Pending> &queued, const std::function<void(ProfileEdit &)> &change)
    {
        const std::optional<QByteArray> data = read();
        if (!data)
            throw IoError(cannotWrite(path), path); // do not replace a file we cannot read
        ProfileEdit edit(*data);
        for (const Pending &p : queued) {
            // An entry written since the addition was queued (by a window of this program or
            // by another one) stands.
            if (!edit.contains(p.key))
                edit.set(p.key, p.value);
        }
        if (change)
            change(edit);
        if (edit.changed()) {
            // Parsed and indexed before the file is replaced, so that it is ready the moment a
            // look-up reads the new file: that look-up would otherwise parse the whole
            // directory itself, on the main thread, while a ring waits for its answer.
            // It is offered from before the replacement until it is the kept read: the file is
            // new from the rename on, and syncing its folder can take a while.
            std::shared_ptr<const Parsed> written = Parsed::of(edit.bytes());
            written->index();
            if (read() != data)
                return false; // replaced by someone else meanwhile
            {
                std::lock_guard guard(cacheLock);
                writing = written;
            }
            auto offered = qScopeGuard([&] {
                std::lock_guard guard(cacheLock);
                writing.reset();
            });
            write(written->data);
            // What was written is what the next read finds, unless another writer came in
            // between: it is checked against the file once before it is trusted.
            std::shared_ptr<const Parsed> replaced = std::move(written);
            {
                std::lock_guard guard(cacheLock);
                std::swap(replaced, cache.parsed);
                cache.identity = FileStamp::Of(path);
                cache.trusted = false;
            }
            // The read it replaces (a directory of 100,000 entries takes tens of milliseconds to
            // free) is kept until the next save and freed here, not by a look-up on the main
            // thread that happens to let go of it last.
            retired = std::move(replaced);
        }
        return true;
    }

    const QString path;
    // The directory's bytes when it lives in memory instead of the file (InMemory).
    std::optional<QByteArray> memory;
    mutable std::mutex memoryLock;
    mutable std::mutex cacheLock;
    mutable Snapshot cache;
    std::shared_ptr<const Parsed> writing;                      // what a save is putting in place (cacheLock)
    std::shared_ptr<const Parsed> retired;                      // the read the last save replaced (ioLock)
    mutable std::vector<std::shared_ptr<const Parsed>> dropped; // reads look-ups replaced (cacheLock)
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

std::unique_ptr<CallerDirectory> CallerDirectory::InMemory(const QByteArray &bytes)
{
    auto directory = std::make_unique<CallerDirectory>(QString());
    directory->d->memory = bytes;
    return directory;
}

QByteArray CallerDirectory::FileBytes() const
{
    return d->read().value_or(QByteArray());
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
    keys.reserve(qsizetype(v.sec().entries.size() + v.added.size()));
    d->forEachEntry(v, [&](QByteArrayView key, const QByteArray &) { keys << DecodeAnsi(key); });
    return keys;
}

QString CallerDirectory::ReadValue(const QString &key) const
{
    const Private::View v = d->view();
    // Blanks around the key go, as around the keys of the file; other white space (a
    // non-breaking space) belongs to a key there, and so it does here.
    const auto value = v.valueOf(trimmed(EncodeAnsi(key)));
    return value ? DecodeOem(*value) : QString();
}

ResolvedCaller CallerDirectory::MatchCaller(const QString &number) const
{
    ResolvedCaller r = unresolved(number);
    const QByteArray wanted = EncodeAnsi(r.Number);
    const Private::View v = d->view();
    std::optional<QByteArray> readKey = v.file->index().firstMatch(wanted);
    for (size_t i = 0; !readKey && i < v.added.size(); ++i) {
        const QByteArrayView prefix = prefixOf(v.added[i]->key);
        if (prefix.size() >= kShortestPrefix && QByteArrayView(wanted).startsWith(prefix))
            readKey = readKeyOf(v.added[i]->key).toByteArray();
    }
    if (readKey)
        setMatch(r, *readKey, v.valueOf(*readKey).value_or(QByteArray()));
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

struct CallerResolver::Private
{
    // The file's entries, queued additions last.
    KeyIndex index;
    // Numbers resolved so far: a journal holds the same callers again and again.
    mutable QHash<QString, ResolvedCaller> answers;
};

CallerResolver::CallerResolver() : d(std::make_shared<Private>()) {}

ResolvedCaller CallerResolver::Resolve(const QString &number) const
{
    if (const auto known = d->answers.constFind(number); known != d->answers.constEnd())
        return *known;
    ResolvedCaller r = unresolved(number);
    if (const auto readKey = d->index.firstMatch(EncodeAnsi(r.Number)))
        setMatch(r, *readKey, d->index.values.value(lowerKey(*readKey)));
    r.Text = CallerDirectory::FinishCallerText(r.Text, r.Number);
    d->answers.insert(number, r);
    return r;
}

CallerResolver CallerDirectory::BatchResolver() const
{
    const Private::View v = d->view();
    CallerResolver resolver;
    resolver.d->index = v.file->index(); // shared until the queued additions join it
    for (const Pending *a : v.added)
        resolver.d->index.add(a->key, a->value);
    return resolver;
}

QList<CallerRecord> CallerDirectory::ReadCallerList(CallerSortOrder order) const
{
    const Private::View v = d->view();
    QList<CallerRecord> records;
    records.reserve(qsizetype(v.sec().entries.size() + v.added.size()));
    d->forEachEntry(v, [&](QByteArrayView key, const QByteArray &value) {
        CallerRecord record;
        record.Number = DecodeAnsi(key);
        SplitValue(DecodeOem(value), &record.Name, &record.Blocked);
        records.append(std::move(record));
    });

    // Name then number (or number then name), then the mark, each field compared
    // case-insensitively in the user's locale. Records that compare equal keep file order:
    // none is dropped, since keys are already unique.
    // The collator's sort keys honour the case setting only where the locale has rules of its
    // own: in the C locale they are the bytes, and "Zander" would come before "albers". The
    // fields are therefore folded to one case first; the locale's rules stay as they are. In
    // the C locale the folded texts are compared as they are (what the collator's keys would
    // hold, without making them).
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const bool plain = collator.locale().language() == QLocale::C;
    const bool byName = order == CallerSortOrder::ByName;
    std::vector<QString> folded; // first and second field of each record
    std::vector<QCollatorSortKey> keys;
    folded.reserve(2 * size_t(records.size()));
    keys.reserve(plain ? 0 : 2 * size_t(records.size()));
    for (const CallerRecord &r : std::as_const(records)) {
        for (const QString *field : {byName ? &r.Name : &r.Number, byName ? &r.Number : &r.Name}) {
            folded.push_back(foldedCase(*field));
            if (!plain)
                keys.push_back(collator.sortKey(folded.back()));
        }
    }
    const auto compareField = [&](size_t a, size_t b) {
        return plain ? folded[a].compare(folded[b]) : keys[a].compare(keys[b]);
    };
    std::vector<qsizetype> index(records.size());
    std::iota(index.begin(), index.end(), 0);
    std::stable_sort(index.begin(), index.end(), [&](qsizetype a, qsizetype b) {
        if (const int c = compareField(2 * size_t(a), 2 * size_t(b)))
            return c < 0;
        if (const int c = compareField(2 * size_t(a) + 1, 2 * size_t(b) + 1))
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

CallerRecord CallerDirectory::CallerOf(const QString &key) const
{
    CallerRecord record{key, QString(), false};
    const Private::View v = d->view();
    std::optional<QByteArray> value = v.valueOf(trimmed(EncodeAnsi(key)));
    if (!value) {
        const ResolvedCaller answering = MatchCaller(key);
        if (answering.Found)
            value = EncodeOem(answering.Text);
    }
    if (value)
        SplitValue(DecodeOem(*value), &record.Name, &record.Blocked);
    return record;
}

void CallerDirectory::WriteOwnCaller(const QString &key, const QString &name, bool blocked)
{
    const QString value = JoinValue(name, blocked);
    CheckKey(key);
    CheckValue(key, value);
    d->save([&](ProfileEdit &edit) { edit.setFirst(EncodeAnsi(key), EncodeOem(value)); });
}

void CallerDirectory::WriteCallerList(const QList<CallerRecord> &rows,
                                      const std::optional<QList<CallerRecord>> &loaded)
{
    // The rows as they were loaded, by number: a row that still reads so is no edit of the user's.
    QHash<QString, qsizetype> asLoaded;
    std::vector<bool> kept; // per loaded row: still among the rows
    if (loaded) {
        asLoaded.reserve(loaded->size());
        for (qsizetype i = 0; i < loaded->size(); ++i)
            asLoaded.insert(loaded->at(i).Number, i);
        kept.resize(size_t(loaded->size()));
    }

    // Every edited row is checked before anything is written, and the erase and every row go
    // into one replacement of the file: a failure part-way loses no entry. Of two rows with one
    // key the later edited one stands, in the place of the first.
    struct Line
    {
        QByteArray key;
        QByteArray lower;
        QByteArray value; // file bytes; empty for a row whose value the file keeps
        bool edited;
    };
    std::vector<Line> lines;
    lines.reserve(size_t(rows.size()));
    QHash<QByteArray, size_t> lineOf; // by lower-case key
    lineOf.reserve(rows.size());
    for (const CallerRecord &row : rows) {
        if (row.Number.isEmpty())
            continue;
        Line line{EncodeAnsi(row.Number), QByteArray(), QByteArray(), true};
        line.lower = lowerKey(line.key);
        const qsizetype from = asLoaded.value(row.Number, -1);
        if (from >= 0)
            kept[size_t(from)] = true;
        const CallerRecord *was = from >= 0 ? &loaded->at(from) : nullptr;
        line.edited = !was || was->Name != row.Name || was->Blocked != row.Blocked;
        if (line.edited) {
            const QString value = JoinValue(row.Name, row.Blocked);
            CheckKey(row.Number);
            CheckValue(row.Number, value);
            line.value = EncodeOem(value);
        }
        if (const auto at = lineOf.constFind(line.lower); at != lineOf.constEnd()) {
            if (line.edited)
                lines[*at] = {lines[*at].key, line.lower, line.value, true};
            continue;
        }
        lineOf.insert(line.lower, lines.size());
        lines.push_back(std::move(line));
    }

    // The loaded entries the user deleted (or gave another number).
    QSet<QByteArray> deleted;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (!kept[i])
            deleted.insert(lowerKey(EncodeAnsi(loaded->at(qsizetype(i)).Number)));
    }

    d->save([&](ProfileEdit &edit) {
        // The file as it is now: an unedited row keeps what the file holds under its key (written
        // meanwhile by a notice, the journal or another program), or stays away when the entry
        // is gone; an entry added while the list was open stays, after the rows.
        struct FileEntry
        {
            QByteArray value;
            qsizetype pos;
        };
        QHash<QByteArray, FileEntry> current;
        std::vector<ListEntry> added;
        const auto entries = edit.entries();
        current.reserve(qsizetype(entries.size()));
        for (const auto &[key, value] : entries) {
            const QByteArray lower = lowerKey(key);
            const qsizetype pos = current.size();
            if (loaded && !lineOf.contains(lower) && !deleted.contains(lower))
                added.push_back({key, value, pos});
            current.insert(lower, {value, pos});
        }
        std::vector<ListEntry> written;
        written.reserve(lines.size() + added.size());
        for (const Line &line : lines) {
            const auto now = current.constFind(line.lower);
            if (!line.edited && now == current.constEnd())
                continue;
            written.push_back(
                {line.key, line.edited ? line.value : now->value, now == current.constEnd() ? -1 : now->pos});
        }
        written.insert(written.end(), added.begin(), added.end());
        edit.eraseSection();
        for (const size_t i : answeringOrder(written))
            edit.set(written[i].key, written[i].value);
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
        throw InvalidInput(QCoreApplication::translate("CallerDirectory",
                                                       "Die Nummer \"%1\" kann nicht gespeichert werden: %2")
                               .arg(key, why));
    };
    if (key.trimmed().isEmpty())
        refuse(QCoreApplication::translate("CallerDirectory", "sie ist leer"));
    if (key.contains(QLatin1Char('\n')) || key.contains(QLatin1Char('\r')) || key.contains(QChar(0)))
        refuse(QCoreApplication::translate("CallerDirectory", "sie enthält einen Zeilenumbruch"));
    if (key.contains(QLatin1Char('=')) || key.contains(QLatin1Char('[')) || key.contains(QLatin1Char(']')))
        refuse(QCoreApplication::translate("CallerDirectory", "sie enthält \"=\", \"[\" oder \"]\""));
    if (key.startsWith(QLatin1Char(';')))
        refuse(QCoreApplication::translate("CallerDirectory", "sie beginnt mit \";\""));
    if (key.front().isSpace() || key.back().isSpace())
        refuse(
            QCoreApplication::translate("CallerDirectory", "sie beginnt oder endet mit einem Leerzeichen"));
    if (!IsAnsiText(key))
        refuse(QCoreApplication::translate("CallerDirectory",
                                           "sie enthält Zeichen, die die Datei nicht aufnehmen kann"));
}

void CallerDirectory::CheckValue(const QString &key, const QString &value)
{
    const auto refuse = [&](const QString &why) {
        throw InvalidInput(QCoreApplication::translate(
                               "CallerDirectory", "Der Eintrag zu \"%1\" kann nicht gespeichert werden: %2")
                               .arg(key, why));
    };
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')) || value.contains(QChar(0)))
        refuse(QCoreApplication::translate("CallerDirectory", "er enthält einen Zeilenumbruch"));
    if (value.size() > kMaxValueLength)
        refuse(QCoreApplication::translate("CallerDirectory", "er ist länger als %1 Zeichen")
                   .arg(kMaxValueLength));
}
