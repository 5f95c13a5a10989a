// The virtual exchange as a peer sees it over TCP: any bytes on up to four connections at once,
// split anywhere, with connections going away in between. CAPI frames, the rcapi questions and
// control lines are all reached this way (the first byte of a connection chooses).
//
// Input: chunks of [head][length, 2 bytes little-endian][bytes]. head & 3 is the connection,
// head & 4 lets its peer go away (a new connection takes its place; no length follows).

#include "SimExchange.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto owner = SimFuzz::QuietExchange(true);
    isdnsim::Exchange &exchange = *owner;
    int conns[4];
    for (int &c : conns)
        c = exchange.adopt(-1); // what the exchange sends is dropped

    size_t pos = 0;
    while (pos < size) {
        const uint8_t head = data[pos++];
        int &conn = conns[head & 3];
        if (head & 4) {
            exchange.hangUp(conn);
            conn = exchange.adopt(-1);
            continue;
        }
        if (size - pos < 2)
            break;
        const size_t length = std::min<size_t>(size_t(data[pos] | data[pos + 1] << 8), size - pos - 2);
        pos += 2;
        exchange.receive(conn, data + pos, length);
        pos += length;
    }
    for (int conn : conns)
        exchange.hangUp(conn);
    return 0;
}
