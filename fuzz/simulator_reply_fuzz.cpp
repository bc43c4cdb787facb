// Arbitrary bytes from a golf simulator: the first byte sets the size of the reads the rest
// arrives in. The reader never crashes, keeps its bounds, and cuts the same objects out of the
// stream whatever the reads are; every object it passes on can be read as a reply.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "links/simulator_messages.h"

using kyvern::links::SimReply;
using kyvern::links::SimReplyReader;

namespace {

// The objects and invalid objects, as text: chunking may only change how bare text is cut.
std::vector<std::string> Objects(const std::vector<SimReply>& replies) {
    std::vector<std::string> out;
    for (const SimReply& r : replies) {
        if (r.text.size() > SimReplyReader::kMaxShownText) std::abort();
        if (r.kind == SimReply::Kind::kObject) {
            if (!r.object.is_object()) std::abort();
            out.push_back(r.object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
            kyvern::links::ReadOpenConnectReply(r.object);
            kyvern::links::ReadOpenGolfSimEvent(r.object);
        } else if (r.kind == SimReply::Kind::kInvalid) {
            out.push_back("invalid " + r.text);
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t step = data[0] + 1u;
    const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);

    SimReplyReader whole;
    std::vector<SimReply> wholeReplies;
    whole.Feed(stream, wholeReplies);

    SimReplyReader pieces;
    std::vector<SimReply> pieceReplies;
    for (std::size_t at = 0; at < stream.size(); at += step)
        pieces.Feed(stream.substr(at, step), pieceReplies);

    if (Objects(wholeReplies) != Objects(pieceReplies)) std::abort();
    return 0;
}
