#include "links/simulator_messages.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "base/math_constants.h"
#include "shot/impact_model.h"

namespace kyvern::links {

namespace {

constexpr double kFpsToMph = 3600.0 / 5280.0;

// Two decimals are far finer than any measurement, and keep the messages short.
double Hundredths(double value) { return std::round(value * 100.0) / 100.0; }

bool IsBlank(std::string_view text) {
    for (char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

std::optional<double> NumberAt(const Json& object, const char* key) {
    if (!object.is_object()) return std::nullopt;
    const auto found = object.find(key);
    if (found == object.end() || !found->is_number()) return std::nullopt;
    const double value = found->get<double>();
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::string TextAt(const Json& object, const char* key) {
    if (!object.is_object()) return {};
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

Json ShotOptions(bool ball, bool club, bool ready, bool ballDetected, bool heartbeat) {
    return Json{{"ContainsBallData", ball},
                {"ContainsClubData", club},
                {"LaunchMonitorIsReady", ready},
                {"LaunchMonitorBallDetected", ballDetected},
                {"IsHeartBeat", heartbeat}};
}

}  // namespace

SimSpin SimulatorSpin(double backSpin, double sideSpin) {
    SimSpin spin;
    // The record's side spin bends the flight left when positive; simulators curve right.
    spin.side = -sideSpin;
    spin.total = std::hypot(backSpin, sideSpin);
    spin.axis = spin.total > 0.0 ? std::atan2(spin.side, backSpin) * 180.0 / base::kPi : 0.0;
    return spin;
}

Json OpenConnectShot(const std::string& deviceId, long shotNumber, const SimShot& shot,
                     bool ready) {
    const SimSpin spin = SimulatorSpin(shot.backSpin, shot.sideSpin);
    Json ball{{"Speed", Hundredths(shot.ballSpeed * kFpsToMph)}};
    if (shot.putt) {
        ball["SpinAxis"] = 0.0;
        ball["TotalSpin"] = 0.0;
        ball["BackSpin"] = 0.0;
        ball["SideSpin"] = 0.0;
    } else if (shot.spinKnown) {
        ball["SpinAxis"] = Hundredths(spin.axis);
        ball["TotalSpin"] = Hundredths(spin.total);
        ball["BackSpin"] = Hundredths(shot.backSpin);
        ball["SideSpin"] = Hundredths(spin.side);
    }
    ball["HLA"] = Hundredths(shot.sideAngle);
    ball["VLA"] = Hundredths(shot.launchAngle);
    if (shot.spinKnown && !shot.putt) ball["CarryDistance"] = Hundredths(shot.carry);
    Json club = Json::object();
    const shot::ClubData c = shot.putt ? shot::ClubData{} : shot.club;
    if (c.clubSpeed.Present()) club["Speed"] = Hundredths(c.clubSpeed.Value() * kFpsToMph);
    if (c.angleOfAttack.Present()) club["AngleOfAttack"] = Hundredths(c.angleOfAttack.Value());
    if (c.faceAngle.Present()) club["FaceToTarget"] = Hundredths(c.faceAngle.Value());
    if (c.pathAngle.Present()) club["Path"] = Hundredths(c.pathAngle.Value());
    if (c.effectiveLoft.Present()) club["Loft"] = Hundredths(c.effectiveLoft.Value());
    const bool hasClub = !club.empty();
    Json message{{"DeviceID", deviceId},
                 {"Units", "Yards"},
                 {"ShotNumber", shotNumber},
                 {"APIversion", "1"},
                 {"BallData", std::move(ball)}};
    if (hasClub) message["ClubData"] = std::move(club);
    message["ShotDataOptions"] = ShotOptions(true, hasClub, ready, true, false);
    return message;
}

Json OpenConnectHeartbeat(const std::string& deviceId, long lastShotNumber, bool ready) {
    return Json{{"DeviceID", deviceId},
                {"Units", "Yards"},
                {"ShotNumber", lastShotNumber},
                {"APIversion", "1"},
                {"ShotDataOptions", ShotOptions(false, false, ready, false, true)}};
}

Json OpenGolfSimDevice(bool ready) {
    return Json{{"type", "device"}, {"status", ready ? "ready" : "busy"}};
}

Json OpenGolfSimShot(const SimShot& shot) {
    const SimSpin spin = SimulatorSpin(shot.backSpin, shot.sideSpin);
    Json ball{{"ballSpeed", Hundredths(shot.ballSpeed * kFpsToMph)},
              {"verticalLaunchAngle", Hundredths(shot.launchAngle)},
              {"horizontalLaunchAngle", Hundredths(shot.sideAngle)}};
    if (shot.putt) {
        ball["spinSpeed"] = 0.0;
        ball["spinAxis"] = 0.0;
    } else if (shot.spinKnown) {
        ball["spinSpeed"] = Hundredths(spin.total);
        ball["spinAxis"] = Hundredths(spin.axis);
    }
    return Json{{"type", "shot"}, {"unit", "imperial"}, {"shot", std::move(ball)}};
}

void SimReplyReader::FlushText(std::vector<SimReply>& out) {
    if (!IsBlank(text_)) {
        SimReply reply;
        const std::string_view trimmed = Trimmed(text_);
        reply.kind = trimmed == "GSPro ready" ? SimReply::Kind::kReadyText : SimReply::Kind::kText;
        reply.text = std::string(trimmed.substr(0, kMaxShownText));
        out.push_back(std::move(reply));
    }
    text_.clear();
}

void SimReplyReader::Feed(std::string_view bytes, std::vector<SimReply>& out) {
    for (char c : bytes) {
        if (depth_ == 0) {
            if (c == '{') {
                FlushText(out);
                object_.assign(1, c);
                depth_ = 1;
                inString_ = escaped_ = false;
            } else if (c == '\n' || c == '\r' || c == '\0') {
                FlushText(out);
            } else {
                text_ += c;
                if (text_.size() >= kMaxShownText) FlushText(out);
            }
            continue;
        }
        object_ += c;
        if (inString_) {
            if (escaped_) {
                escaped_ = false;
            } else if (c == '\\') {
                escaped_ = true;
            } else if (c == '"') {
                inString_ = false;
            }
        } else if (c == '"') {
            inString_ = true;
        } else if (c == '{' || c == '[') {
            ++depth_;
        } else if (c == '}' || c == ']') {
            --depth_;
        }
        if (depth_ == 0) {
            SimReply reply;
            reply.object = Json::parse(object_, nullptr, false);
            if (reply.object.is_discarded() || !reply.object.is_object()) {
                reply.kind = SimReply::Kind::kInvalid;
                reply.object = Json();
                reply.text = object_.substr(0, kMaxShownText);
            } else {
                reply.kind = SimReply::Kind::kObject;
            }
            out.push_back(std::move(reply));
            object_.clear();
        } else if (object_.size() > kMaxObject || depth_ > kMaxDepth) {
            SimReply reply;
            reply.kind = SimReply::Kind::kInvalid;
            reply.text = object_.substr(0, kMaxShownText);
            out.push_back(std::move(reply));
            object_.clear();
            depth_ = 0;
        }
    }
    // The bare ready text may come without a line end; anything else waits for its end.
    if (depth_ == 0 && Trimmed(text_) == "GSPro ready") FlushText(out);
}

OpenConnectReply ReadOpenConnectReply(const Json& reply) {
    OpenConnectReply read;
    if (const auto code = NumberAt(reply, "Code");
        code && *code >= -1e9 && *code <= 1e9 && *code == std::floor(*code)) {
        read.code = static_cast<int>(*code);
    }
    read.message = TextAt(reply, "Message");
    if (reply.is_object()) {
        const auto player = reply.find("Player");
        if (player != reply.end() && player->is_object()) {
            SimPlayer p;
            p.handed = TextAt(*player, "Handed");
            p.club = TextAt(*player, "Club");
            p.distanceToTarget = NumberAt(*player, "DistanceToTarget");
            read.player = std::move(p);
        }
    }
    return read;
}

OpenGolfSimEvent ReadOpenGolfSimEvent(const Json& event) {
    OpenGolfSimEvent read;
    read.type = TextAt(event, "type");
    if (read.type != "result") return read;
    // The carry at the top, or inside the event's result or data object.
    for (const Json* where : {&event, event.contains("result") ? &event["result"] : nullptr,
                              event.contains("data") ? &event["data"] : nullptr}) {
        if (!where) continue;
        for (const char* key : {"carry", "carryDistance"}) {
            if (auto carry = NumberAt(*where, key)) {
                read.carryMetres = carry;
                return read;
            }
        }
    }
    return read;
}

int ClubPresetOfSimulatorClub(std::string_view code) {
    std::string c;
    for (char ch : code)
        c += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    // "W3" and "I7" name the same clubs as "3W" and "7I".
    if (c.size() == 2 && (c[0] == 'W' || c[0] == 'I') &&
        std::isdigit(static_cast<unsigned char>(c[1])))
        std::swap(c[0], c[1]);
    const std::pair<const char*, int> clubs[] = {
        {"DR", 1}, {"3W", 2},  {"5W", 3},  {"3I", 4},  {"4I", 5},  {"5I", 6},  {"6I", 7}, {"7I", 8},
        {"8I", 9}, {"9I", 10}, {"PW", 11}, {"GW", 11}, {"AW", 11}, {"SW", 11}, {"LW", 11}};
    for (const auto& [name, index] : clubs) {
        if (c == name) return index;
    }
    return -1;
}

}  // namespace kyvern::links
