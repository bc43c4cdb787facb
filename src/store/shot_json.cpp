#include "store/shot_json.h"

#include <nlohmann/json.hpp>

namespace kyvern::store {

namespace {

using nlohmann::json;

constexpr int kFormat = 1;

json Optional(const std::optional<double>& value) { return value ? json(*value) : json(nullptr); }

std::optional<double> ReadOptional(const json& j, const char* key) {
    const json& v = j.at(key);
    if (v.is_null()) return std::nullopt;
    return v.get<double>();
}

}  // namespace

std::string ShotToJson(const StoredShot& s) {
    json j;
    j["format"] = kFormat;
    j["id"] = s.id;
    j["timeMs"] = s.timeMs;
    j["player"] = s.player;
    j["session"] = s.session;
    j["item"] = s.item;
    j["bay"] = s.bay;
    j["cameraSerials"] = s.cameraSerials;
    j["ball"] = s.ball;
    j["weather"] = {{"altitude", s.weather.altitude},   {"temperature", s.weather.temperature},
                    {"humidity", s.weather.humidity},   {"barometer", s.weather.barometer},
                    {"windSpeed", s.weather.windSpeed}, {"windDir", s.weather.windDir}};
    j["distanceUnit"] = s.distanceUnit;
    j["speedUnit"] = s.speedUnit;
    j["precision"] = s.precision;
    j["launch"] = {{"ballSpeed", s.ballSpeed}, {"launchAngle", s.launchAngle},
                   {"sideAngle", s.sideAngle}, {"totalSpin", s.totalSpin},
                   {"backSpin", s.backSpin},   {"sideSpin", s.sideSpin}};
    j["club"] = {{"clubSpeed", Optional(s.clubSpeed)},
                 {"attackAngle", Optional(s.attackAngle)},
                 {"pathAngle", Optional(s.pathAngle)},
                 {"faceAngle", Optional(s.faceAngle)},
                 {"effectiveLoft", Optional(s.effectiveLoft)},
                 {"clubMass", Optional(s.clubMass)},
                 {"clubLoft", Optional(s.clubLoft)}};
    j["flight"] = {{"carry", s.flight.carry},
                   {"carryOffline", s.flight.carryOffline},
                   {"total", s.flight.total},
                   {"totalOffline", s.flight.totalOffline},
                   {"roll", s.flight.roll},
                   {"maxHeight", s.flight.maxHeight},
                   {"flightTime", s.flight.flightTime}};
    json points = json::array();
    for (const TrajectoryPoint& p : s.trajectory)
        points.push_back({p.t, p.x, p.y, p.z});
    j["trajectory"] = std::move(points);
    j["putt"] = s.putt;
    j["confidence"] = Optional(s.confidence);
    j["spinDoubtful"] = s.spinDoubtful;
    j["imageFile"] = s.imageFile;
    return j.dump();
}

bool ShotFromJson(const std::string& text, StoredShot& out, std::string& why) {
    const json j = json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        why = "it is not JSON";
        return false;
    }
    // A damaged file is data, not a bug: the library's exceptions stop at this function.
    try {
        if (j.at("format").get<int>() != kFormat) {
            why = "its format is unknown";
            return false;
        }
        StoredShot s;
        s.id = j.at("id").get<std::string>();
        s.timeMs = j.at("timeMs").get<std::int64_t>();
        s.player = j.at("player").get<std::string>();
        s.session = j.at("session").get<std::string>();
        s.item = j.at("item").get<std::string>();
        s.bay = j.at("bay").get<std::string>();
        s.cameraSerials = j.at("cameraSerials").get<std::vector<std::string>>();
        s.ball = j.at("ball").get<std::string>();
        const json& w = j.at("weather");
        s.weather.altitude = w.at("altitude").get<double>();
        s.weather.temperature = w.at("temperature").get<double>();
        s.weather.humidity = w.at("humidity").get<double>();
        s.weather.barometer = w.at("barometer").get<double>();
        s.weather.windSpeed = w.at("windSpeed").get<double>();
        s.weather.windDir = w.at("windDir").get<double>();
        s.distanceUnit = j.at("distanceUnit").get<int>();
        s.speedUnit = j.at("speedUnit").get<int>();
        s.precision = j.at("precision").get<std::string>();
        const json& l = j.at("launch");
        s.ballSpeed = l.at("ballSpeed").get<double>();
        s.launchAngle = l.at("launchAngle").get<double>();
        s.sideAngle = l.at("sideAngle").get<double>();
        s.totalSpin = l.at("totalSpin").get<double>();
        s.backSpin = l.at("backSpin").get<double>();
        s.sideSpin = l.at("sideSpin").get<double>();
        const json& c = j.at("club");
        s.clubSpeed = ReadOptional(c, "clubSpeed");
        s.attackAngle = ReadOptional(c, "attackAngle");
        s.pathAngle = ReadOptional(c, "pathAngle");
        s.faceAngle = ReadOptional(c, "faceAngle");
        s.effectiveLoft = ReadOptional(c, "effectiveLoft");
        s.clubMass = ReadOptional(c, "clubMass");
        s.clubLoft = ReadOptional(c, "clubLoft");
        const json& f = j.at("flight");
        s.flight.carry = f.at("carry").get<double>();
        s.flight.carryOffline = f.at("carryOffline").get<double>();
        s.flight.total = f.at("total").get<double>();
        s.flight.totalOffline = f.at("totalOffline").get<double>();
        s.flight.roll = f.at("roll").get<double>();
        s.flight.maxHeight = f.at("maxHeight").get<double>();
        s.flight.flightTime = f.at("flightTime").get<double>();
        for (const json& p : j.at("trajectory")) {
            if (!p.is_array() || p.size() != 4) {
                why = "a trajectory point is damaged";
                return false;
            }
            s.trajectory.push_back(
                {p[0].get<double>(), p[1].get<double>(), p[2].get<double>(), p[3].get<double>()});
        }
        s.putt = j.at("putt").get<bool>();
        s.confidence = ReadOptional(j, "confidence");
        // Queued by a version that did not know of it: taken as measured.
        s.spinDoubtful = j.value("spinDoubtful", false);
        s.imageFile = j.at("imageFile").get<std::string>();
        out = std::move(s);
        return true;
    } catch (const json::exception& e) {
        why = std::string("it is not a whole shot: ") + e.what();
        return false;
    }
}

}  // namespace kyvern::store
