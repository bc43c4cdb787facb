#pragma once

// What the golf simulator link writes and reads: the Open Connect v1 and OpenGolfSim messages
// built from one shot, and a streaming reader of the replies. Pure functions, no socket.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "shot/shot_record.h"

namespace kyvern::links {

using Json = nlohmann::ordered_json;

// One shot as a simulator gets it, in the record's units and signs: side angle positive to the
// right of the target line, side spin positive when it bends the flight to the left.
struct SimShot {
    double ballSpeed = 0.0;  // ft/s
    double launchAngle = 0.0;
    double sideAngle = 0.0;
    double backSpin = 0.0;
    double sideSpin = 0.0;
    // False when the spin was doubtful: the spins, and the carry flown with them, are left out
    // of the message for the simulator to fill in rather than sent as measured.
    bool spinKnown = true;
    double carry = 0.0;   // yards, from the flight model
    shot::ClubData club;  // only the values with their flag set are sent
    // A putt: sent with no spin (it is not measured), no carry and no club data, the club's
    // delivery being inferred for full shots only.
    bool putt = false;
};

// Open Connect's view of the spin: positive side spin and spin axis curve the ball right.
struct SimSpin {
    double total = 0.0;  // rpm, the magnitude of back and side spin
    double side = 0.0;   // rpm, positive curves right
    double axis = 0.0;   // degrees, positive tilts the axis so the ball curves right
};
SimSpin SimulatorSpin(double backSpin, double sideSpin);

Json OpenConnectShot(const std::string& deviceId, long shotNumber, const SimShot& shot, bool ready);
Json OpenConnectHeartbeat(const std::string& deviceId, long lastShotNumber, bool ready);
Json OpenGolfSimDevice(bool ready);
Json OpenGolfSimShot(const SimShot& shot);

// One reply as the reader cut it from the stream.
struct SimReply {
    enum class Kind {
        kObject,     // a whole JSON object
        kReadyText,  // the bare text "GSPro ready"
        kText,       // other text between objects
        kInvalid,    // braces that balance but hold no valid JSON, or an object over the limit
    };
    Kind kind = Kind::kText;
    Json object;       // kObject
    std::string text;  // the raw bytes (cut to kMaxShownText) of the others
};

// Cuts whole JSON objects out of a byte stream whatever its reads look like: objects joined
// without separators or split across reads, bare text between them. An object that grows past
// kMaxObject, or nests deeper than kMaxDepth, is given up and reported invalid: a peer can make
// it hold neither unbounded memory nor a stack of nested values.
class SimReplyReader {
public:
    static constexpr std::size_t kMaxObject = 64 * 1024;
    static constexpr int kMaxDepth = 32;
    static constexpr std::size_t kMaxShownText = 200;

    // Appends the replies completed by these bytes.
    void Feed(std::string_view bytes, std::vector<SimReply>& out);

private:
    void FlushText(std::vector<SimReply>& out);

    std::string object_;
    std::string text_;
    int depth_ = 0;
    bool inString_ = false;
    bool escaped_ = false;
};

// What an Open Connect reply says.
struct SimPlayer {
    std::string handed;  // "RH" or "LH" as sent
    std::string club;    // "DR", "7I", ...
    std::optional<double> distanceToTarget;
};
struct OpenConnectReply {
    int code = 0;  // 0 when the reply has no numeric code
    std::string message;
    std::optional<SimPlayer> player;
};
OpenConnectReply ReadOpenConnectReply(const Json& reply);

// An OpenGolfSim event: its type and, for a result, the carry it reports (metres).
struct OpenGolfSimEvent {
    std::string type;
    std::optional<double> carryMetres;
};
OpenGolfSimEvent ReadOpenGolfSimEvent(const Json& event);

// The index in the impact model's club list of the club a simulator names ("DR", "3W", "W3",
// "7I", "I7", "PW", ...), or -1 when the list has no such club (the putter, hybrids).
int ClubPresetOfSimulatorClub(std::string_view code);
// The club code a simulator's player information names the putter by.
inline constexpr const char* kSimulatorPutter = "PT";

}  // namespace kyvern::links
