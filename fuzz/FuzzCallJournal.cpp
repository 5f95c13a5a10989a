// The call journal "anruf2.dat" as a damaged disk or another program may leave it, and the
// detector that tells the 32-byte records of older versions from today's 40-byte ones.

#include "FuzzSupport.h"

#include "calls/CallJournal.h"
#include "common/Utils.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>

namespace {

bool sameTime(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// A text of digits (and the "*" of a group key), as the ring handler writes keys and MSNs.
QString digits(FuzzedDataProvider &in, int max)
{
    const std::string raw = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, size_t(max)));
    QString text;
    for (const char c : raw)
        text += uchar(c) % 11 == 10 ? QLatin1Char('*') : QLatin1Char(char('0' + uchar(c) % 11));
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::QuietQtMessages();
    // Times are local: one zone with daylight saving time for every run.
    qputenv("TZ", "Europe/Berlin");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Any bytes as the journal: every record reads, shows its time and writes back unchanged.
    const QByteArrayView file = FuzzSupport::View(data, size);
    const QList<JournalRecord> records = CallJournal::RecordsOf(file);
    FUZZ_CHECK(records.size() == qsizetype(size) / JournalRecord::kSize);
    for (const JournalRecord &r : records) {
        r.callDateTime();
        FUZZ_CHECK(r.CallerKey.size() <= JournalRecord::kMaxKey && r.Msn.size() <= JournalRecord::kMaxMsn);
        const JournalRecord again = JournalRecord::fromBytes(r.toBytes().constData());
        FUZZ_CHECK(sameTime(again.CallTime, r.CallTime) && again.CallerKey == r.CallerKey &&
                   again.Msn == r.Msn);
    }
    CallJournal::FormOf(file);
    for (qsizetype i = 0; i + JournalRecord::kOldSize <= file.size(); i += JournalRecord::kOldSize)
        JournalRecord::fromBytes(file.constData() + i, JournalRecord::kOldSize).callDateTime();

    // A journal the program wrote (calls between 1980 and 2100, digits as keys and MSNs) is told
    // apart in both forms, whatever the number of records.
    FuzzedDataProvider in(data, size);
    QByteArray current;
    QByteArray old;
    const int count = in.ConsumeIntegralInRange(1, 64);
    for (int i = 0; i < count; ++i) {
        JournalRecord r;
        r.CallTime = in.ConsumeFloatingPointInRange(29221.0, 73051.0);
        r.CallerKey = digits(in, JournalRecord::kMaxKey);
        r.Msn = digits(in, JournalRecord::kMaxMsn);
        const QByteArray bytes = r.toBytes();
        current += bytes;
        old += bytes.first(JournalRecord::kOldSize);
        const JournalRecord back = CallJournal::RecordsOf(bytes).value(0);
        FUZZ_CHECK(back == r);
    }
    FUZZ_CHECK(CallJournal::FormOf(current) == CallJournal::Form::New);
    FUZZ_CHECK(CallJournal::FormOf(old) == CallJournal::Form::Old);
    return 0;
}
