// A call event or a command as anyone on the broker may send it: any bytes are refused with a
// reason or read; what is read writes back to a message that reads the same.

#include "FuzzCheck.h"
#include "FuzzSupport.h"

#include "CallMessage.h"

namespace {

bool SameEvent(const CallEvent &a, const CallEvent &b)
{
    return a.What == b.What && a.CallId == b.CallId && a.MessageId == b.MessageId && a.Number == b.Number &&
           a.Name == b.Name && a.Msn == b.Msn && a.Service == b.Service && a.Cip == b.Cip &&
           a.Blocked == b.Blocked && a.Time.toSecsSinceEpoch() == b.Time.toSecsSinceEpoch() &&
           a.Time.offsetFromUtc() == b.Time.offsetFromUtc();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::QuietQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input = FuzzSupport::View(data, size);
    const CallMessage::Parsed parsed = CallMessage::Parse(input);
    FUZZ_CHECK(parsed.Ok == parsed.Error.isEmpty());
    if (parsed.Ok) {
        FUZZ_CHECK(size <= size_t(CallMessage::kMaxPayload));
        FUZZ_CHECK(parsed.Event.MessageId.size() <= CallMessage::kMaxText);
        FUZZ_CHECK(parsed.Event.Name.size() <= CallMessage::kMaxText);
        // Written out, every field is there: a message near the limit may grow past it.
        const QByteArray written = CallMessage::Encode(parsed.Event, parsed.Node);
        const CallMessage::Parsed again = CallMessage::Parse(written);
        FUZZ_CHECK(again.Ok || written.size() > CallMessage::kMaxPayload);
        if (!again.Ok)
            return 0;
        FUZZ_CHECK(again.Node == parsed.Node);
        FUZZ_CHECK(SameEvent(again.Event, parsed.Event));
    }

    const CallMessage::ParsedCommand command = CallMessage::ParseCommand(input);
    FUZZ_CHECK(command.Ok == command.Error.isEmpty());
    if (command.Ok) {
        const CallMessage::ParsedCommand again =
            CallMessage::ParseCommand(CallMessage::EncodeBlock(command.Block));
        FUZZ_CHECK(again.Ok && again.Block.Id == command.Block.Id &&
                   again.Block.Number == command.Block.Number && again.Block.From == command.Block.From);
    }
    return 0;
}
