// The text control interface of the virtual exchange, both ends: any lines to a control
// connection while an application listens for every call, and the same lines through the parts
// of the `isdnsim call` client that read the exchange's answers.

#include "SimExchange.h"

#include "ControlClient.h"

#include <string>

namespace {

// The frames of an application that registers and listens for every service.
std::vector<uint8_t> listenerFrames()
{
    using namespace isdnsim;
    const Bytes registration = {0x14, 0x00, 0x00, 0x00, CmdControl, SubReq, 0x01, 0x00, 0x02, 0x00,
                                0x09, 0x00, 0x00, 0x06, 2,          0,      7,    0,    0x00, 0x08};
    const Bytes listen =
        MessageBuilder(0, CmdListen, SubReq, 1).dword(1).dword(0).dword(1).dword(0).empty().empty().finish();
    Bytes frames;
    for (const Bytes &message : {registration, listen}) {
        frames.push_back(0x80);
        frames.push_back(uint8_t(message.size()));
        frames.push_back(uint8_t(message.size() >> 8));
        frames.insert(frames.end(), message.begin(), message.end());
    }
    return frames;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto owner = SimFuzz::QuietExchange(false);
    isdnsim::Exchange &exchange = *owner;
    const int listener = exchange.adopt(-1);
    static const std::vector<uint8_t> frames = listenerFrames();
    exchange.receive(listener, frames.data(), frames.size());
    const int control = exchange.adopt(-1);
    exchange.receive(control, data, size);
    exchange.hangUp(control);
    exchange.hangUp(listener);

    // The client reading the same text as the exchange's answers.
    isdnsim::CallReport report;
    const std::string text(reinterpret_cast<const char *>(data), size);
    size_t from = 0;
    while (from <= text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(from, end - from);
        report.add(line);
        isdnsim::lineValue(line, "call");
        std::string host;
        uint16_t port = 0;
        if (isdnsim::parseServer(line, &host, &port))
            FUZZ_CHECK(port >= 1 && port <= 65534);
        from = end + 1;
    }
    report.format();
    return 0;
}
