// Arbitrary messages arriving from the router: each input is cut into messages of the lengths
// its own bytes name. The bookkeeping never crashes, never reads past a message, and its
// counters only grow.
#include <cstdint>
#include <cstdlib>

#include "links/router_packet.h"

using kyvern::links::RouterPacket;
using kyvern::links::RouterReceiveState;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RouterReceiveState state;
    RouterPacket packet;
    while (size > 0) {
        std::size_t length = data[0];
        ++data;
        --size;
        if (length > size) length = size;
        auto extra = state.Extra();
        auto lost = state.Lost();
        auto received = state.Received();
        bool accepted = state.Accept(data, length, packet);
        if (accepted != (state.Received() == received + 1)) std::abort();
        if (!accepted && state.Extra() != extra + 1) std::abort();
        if (state.Lost() < lost) std::abort();
        if (accepted && state.LastSequence() != packet.Sequence()) std::abort();
        data += length;
        size -= length;
    }
    return 0;
}
