// The caller directory "anruf.dat" as any editor or program may leave it: it reads without a
// crash; a write changes only the entry written, and what was accepted reads back as written;
// naming one caller on its own makes its look-up find it and changes no other; the caller
// list saved unchanged leaves the directory and its look-ups as they were; the one-read resolver of the
// journal window answers every number as the look-up of the ring handler does.

#include "FuzzSupport.h"

#include "calls/CallerDirectory.h"
#include "common/Errors.h"
#include "common/Utils.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QHash>

#include <algorithm>

namespace {

bool same(const ResolvedCaller &a, const ResolvedCaller &b)
{
    return a.Text == b.Text && a.Found == b.Found && a.MatchedKey == b.MatchedKey && a.Blocked == b.Blocked &&
           a.Number == b.Number;
}

QString ansi(FuzzedDataProvider &in, size_t max)
{
    return DecodeAnsi(QByteArray::fromStdString(in.ConsumeRandomLengthString(max)));
}

// A number as the line delivers one. (Keys compare without regard to case, look-ups with regard
// to it: two keys that differ in case only are one entry, and a save that leaves one line of them
// changes what numbers with letters find. Digits have no case.)
bool digitsOnly(const QString &text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// Keys compare without regard to ASCII case.
QByteArray fold(const QString &key)
{
    return EncodeAnsi(key).toLower();
}

struct Snapshot
{
    QStringList keys;
    QHash<QByteArray, QString> values; // by folded key
};

Snapshot snapshot(const CallerDirectory &dir)
{
    Snapshot s;
    s.keys = dir.ListKeys();
    for (const QString &key : std::as_const(s.keys)) {
        FUZZ_CHECK(!s.values.contains(fold(key))); // each key once
        s.values.insert(fold(key), dir.ReadValue(key));
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::QuietQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const QByteArray file = QByteArray::fromStdString(in.ConsumeRandomLengthString(size));
    const auto dir = CallerDirectory::InMemory(file);

    // Reading: every key once, each listed caller one of them.
    const Snapshot before = snapshot(*dir);
    for (const CallerSortOrder order : {CallerSortOrder::ByName, CallerSortOrder::ByNumber}) {
        const QList<CallerRecord> list = dir->ReadCallerList(order);
        FUZZ_CHECK(list.size() == before.keys.size());
        for (const CallerRecord &r : list)
            FUZZ_CHECK(before.values.contains(fold(r.Number)));
    }

    // The resolver against the look-up, for the keys themselves, numbers they begin and any text.
    const CallerResolver resolver = dir->BatchResolver();
    QStringList numbers;
    for (const QString &key : std::as_const(before.keys)) {
        const QString prefix = key.section(QLatin1Char('*'), 0, 0);
        numbers << key << prefix << prefix + QStringLiteral("0815") << prefix.left(prefix.size() - 1);
    }
    for (int i = 0; i < 4; ++i)
        numbers << ansi(in, 24);
    for (const QString &number : std::as_const(numbers))
        FUZZ_CHECK(same(resolver.Resolve(number), dir->ResolveCaller(number)));

    // Writing one value: refused without a trace, or it reads back and nothing else changed.
    const QString key = ansi(in, 24);
    const QString value = in.ConsumeBool()
                              ? DecodeOem(QByteArray::fromStdString(in.ConsumeRandomLengthString(300)))
                              : QString::fromStdString(in.ConsumeRandomLengthString(300));
    try {
        dir->WriteValue(key, value);
    } catch (const InvalidInput &) {
        FUZZ_CHECK(dir->FileBytes() == file);
        return 0;
    }
    const Snapshot after = snapshot(*dir);
    FUZZ_CHECK(dir->ReadValue(key) == DecodeOem(EncodeOem(value)));
    const bool added = !before.values.contains(fold(key));
    FUZZ_CHECK(after.keys.size() == before.keys.size() + (added ? 1 : 0));
    for (qsizetype i = 0; i < before.keys.size(); ++i) {
        FUZZ_CHECK(after.keys[i] == before.keys[i]);
        if (fold(before.keys[i]) != fold(key))
            FUZZ_CHECK(after.values.value(fold(before.keys[i])) == before.values.value(fold(before.keys[i])));
    }
    if (added)
        FUZZ_CHECK(after.keys.back() == key);

    // The same value again leaves the file untouched.
    const QByteArray written = dir->FileBytes();
    dir->WriteValue(key, value);
    FUZZ_CHECK(dir->FileBytes() == written);

    // Naming one caller on its own: its look-up finds the entry, and a number that does not begin
    // with it is answered as before.
    numbers << key;
    const CallerResolver beforeOwn = dir->BatchResolver();
    const QString own = in.ConsumeBool() ? ansi(in, 24) : QString::number(in.ConsumeIntegral<quint32>());
    const QString ownPrefix = own.section(QLatin1Char('*'), 0, 0);
    try {
        dir->WriteOwnCaller(own, QStringLiteral("Eigen"), true);
        if (own.size() >= 2 && digitsOnly(own)) {
            const ResolvedCaller found = dir->ResolveCaller(own);
            FUZZ_CHECK(found.Blocked && found.Text == QStringLiteral("T#Eigen"));
        }
        for (const QString &number : std::as_const(numbers)) {
            if (!number.startsWith(ownPrefix, Qt::CaseInsensitive))
                FUZZ_CHECK(same(beforeOwn.Resolve(number), dir->ResolveCaller(number)));
        }
    } catch (const InvalidInput &) {
        FUZZ_CHECK(dir->FileBytes() == written);
    }
    const QByteArray beforeList = dir->FileBytes();

    // The caller list saved as it was loaded: the same list (nothing was edited, so every entry
    // keeps its value), and every number answered as before, whatever order the list shows. The
    // save replaces the section, so a second [Anrufer] section further down (which no read
    // sees) comes to light, as with the platform's profile functions.
    const CallerResolver beforeSave = dir->BatchResolver();
    const QList<CallerRecord> list = dir->ReadCallerList(CallerSortOrder::ByName);
    dir->WriteCallerList(list, list);
    const auto erased = CallerDirectory::InMemory(beforeList);
    erased->EraseAll();
    if (erased->ListKeys().isEmpty()) {
        FUZZ_CHECK(dir->ReadCallerList(CallerSortOrder::ByName) == list);
        for (const QString &number : std::as_const(numbers)) {
            if (digitsOnly(number))
                FUZZ_CHECK(same(beforeSave.Resolve(number), dir->ResolveCaller(number)));
        }
    } else {
        for (const CallerRecord &r : list) {
            CallerRecord read{r.Number, QString(), false};
            CallerDirectory::SplitValue(dir->ReadValue(r.Number), &read.Name, &read.Blocked);
            FUZZ_CHECK(read == r);
        }
    }
    return 0;
}
