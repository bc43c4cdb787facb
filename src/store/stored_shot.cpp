#include "store/stored_shot.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>

#include "flight/flight_model.h"

namespace kyvern::store {

namespace {

bool SameWeather(const flight::Weather& a, const flight::Weather& b) {
    return a.altitude == b.altitude && a.temperature == b.temperature && a.humidity == b.humidity &&
           a.barometer == b.barometer && a.windSpeed == b.windSpeed && a.windDir == b.windDir;
}

bool SameFlight(const flight::FlightSummary& a, const flight::FlightSummary& b) {
    return a.carry == b.carry && a.carryOffline == b.carryOffline && a.total == b.total &&
           a.totalOffline == b.totalOffline && a.roll == b.roll && a.maxHeight == b.maxHeight &&
           a.flightTime == b.flightTime;
}

std::optional<double> Measured(double value) {
    if (value == 0.0) return std::nullopt;
    return value;
}

std::optional<double> Measured(const shot::ClubValue& value) {
    if (!value.Present()) return std::nullopt;
    return value.Value();
}

// FNV-1a over the text, from a given offset basis: two bases give the two halves of an id.
std::uint64_t Fnv1a(std::string_view text, std::uint64_t basis) {
    std::uint64_t hash = basis;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::string Hex128(std::uint64_t high, std::uint64_t low) {
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(high),
                  static_cast<unsigned long long>(low));
    return text;
}

bool Finite(std::optional<double> value) { return !value || std::isfinite(*value); }

}  // namespace

bool operator==(const StoredShot& a, const StoredShot& b) {
    return a.id == b.id && a.timeMs == b.timeMs && a.player == b.player && a.session == b.session &&
           a.item == b.item && a.bay == b.bay && a.cameraSerials == b.cameraSerials &&
           a.ball == b.ball && SameWeather(a.weather, b.weather) &&
           a.distanceUnit == b.distanceUnit && a.speedUnit == b.speedUnit &&
           a.precision == b.precision && a.ballSpeed == b.ballSpeed &&
           a.launchAngle == b.launchAngle && a.sideAngle == b.sideAngle &&
           a.totalSpin == b.totalSpin && a.backSpin == b.backSpin && a.sideSpin == b.sideSpin &&
           a.clubSpeed == b.clubSpeed && a.attackAngle == b.attackAngle &&
           a.pathAngle == b.pathAngle && a.faceAngle == b.faceAngle &&
           a.effectiveLoft == b.effectiveLoft && a.clubMass == b.clubMass &&
           a.clubLoft == b.clubLoft && SameFlight(a.flight, b.flight) &&
           a.trajectory == b.trajectory && a.putt == b.putt && a.confidence == b.confidence &&
           a.spinDoubtful == b.spinDoubtful && a.imageFile == b.imageFile;
}

std::string NewShotId() {
    std::random_device device;
    auto word = [&device] {
        return (static_cast<std::uint64_t>(device()) << 32) ^ static_cast<std::uint64_t>(device());
    };
    const std::uint64_t high = word();
    return Hex128(high, word());
}

std::string ImportShotId(std::string_view key, int occurrence) {
    std::string text(key);
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "#%d", occurrence);
    text += suffix;
    return "import-" +
           Hex128(Fnv1a(text, 0xcbf29ce484222325ull), Fnv1a(text, 0x84222325cbf29ce4ull));
}

std::string IsoUtcText(std::int64_t timeMs) {
    const std::int64_t seconds = timeMs >= 0 ? timeMs / 1000 : (timeMs - 999) / 1000;
    const auto millis = static_cast<int>(timeMs - seconds * 1000);
    const auto t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    ::gmtime_r(&t, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
    return text;
}

std::optional<std::int64_t> TimeMsFromTableText(std::string_view text) {
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::string s(text);
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    char month[4] = {};
    int used = 0;
    if (std::sscanf(s.c_str(), "%2d/%3c/%4d %2d:%2d:%2d%n", &day, month, &year, &hour, &minute,
                    &second, &used) != 6 ||
        static_cast<std::size_t>(used) != s.size()) {
        return std::nullopt;
    }
    std::tm t{};
    t.tm_mon = -1;
    for (int m = 0; m < 12; ++m)
        if (std::string_view(month) == kMonths[m]) t.tm_mon = m;
    if (t.tm_mon < 0 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    t.tm_mday = day, t.tm_year = year - 1900, t.tm_hour = hour, t.tm_min = minute;
    t.tm_sec = second, t.tm_isdst = -1;
    const std::time_t local = std::mktime(&t);
    if (local == static_cast<std::time_t>(-1)) return std::nullopt;
    return static_cast<std::int64_t>(local) * 1000;
}

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

StoredShot StoredShotFromEntry(const data::ShotValues& values, std::int64_t timeMs,
                               std::string bay) {
    const data::ShotEntry& e = values.entry;
    StoredShot s;
    s.timeMs = timeMs;
    s.player = e.user;
    s.session = e.session;
    s.item = e.item;
    s.bay = std::move(bay);
    s.ball = values.flown.ball.ball;
    s.weather = values.flown.weather;
    s.ballSpeed = e.ballSpeed;
    s.launchAngle = e.launchAngle;
    s.sideAngle = e.sideAngle;
    s.totalSpin = e.totalSpin;
    s.backSpin = e.backSpin;
    s.sideSpin = e.sideSpin;
    s.clubSpeed = Measured(e.clubSpeed);
    s.attackAngle = Measured(e.attackAngle);
    s.pathAngle = Measured(e.pathAngle);
    s.faceAngle = Measured(e.faceAngle);
    s.effectiveLoft = Measured(e.effectiveLoft);
    s.clubMass = Measured(e.clubMass);
    s.clubLoft = Measured(e.clubLoft);
    s.flight = e.rolled ? *e.rolled : values.flight;
    s.putt = e.rolled.has_value();
    s.spinDoubtful = e.spinDoubtful;
    return s;
}

StoredShot StoredShotFromRecord(const shot::ShotRecord& record, std::int64_t timeMs,
                                std::string bay) {
    StoredShot s;
    s.timeMs = timeMs;
    s.player = record.user;
    s.session = record.session;
    s.item = record.item;
    s.bay = std::move(bay);
    s.ballSpeed = record.launch.ballSpeed;
    s.launchAngle = record.launch.launchAngle;
    s.sideAngle = record.launch.sideAngle;
    s.totalSpin = record.launch.totalSpin;
    s.backSpin = record.launch.backSpin;
    s.sideSpin = record.launch.sideSpin;
    s.putt = record.launch.putt;
    s.confidence = record.launch.confidence;
    s.spinDoubtful = record.launch.spinDoubtful;
    s.clubSpeed = Measured(record.club.clubSpeed);
    s.attackAngle = Measured(record.club.angleOfAttack);
    s.pathAngle = Measured(record.club.pathAngle);
    s.faceAngle = Measured(record.club.faceAngle);
    s.effectiveLoft = Measured(record.club.effectiveLoft);
    s.clubMass = Measured(record.club.clubMass);
    s.clubLoft = Measured(record.club.clubLoft);
    const flight::FlightResult& f = record.flight;
    s.flight = f;
    const int count = std::min(f.pointCount, flight::FlightResult::kMaxPoints);
    s.trajectory.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        const auto p = static_cast<std::size_t>(i);
        // Flight points are one model step apart; the model gives the landing and the roll no
        // time of their own, so they take the landing time.
        const bool flying = i == 0 || f.pointHasSpin[p];
        const double t = flying ? i * flight::FlightModel::kStep : f.flightTime;
        s.trajectory.push_back({t, f.pointX[p], f.pointHeight[p], f.pointZ[p]});
    }
    return s;
}

std::string ShotProblem(const StoredShot& s) {
    if (s.id.empty()) return "the shot has no id";
    if (s.id.size() > 200) return "the shot id is longer than 200 characters";
    const double numbers[] = {
        s.weather.altitude,  s.weather.temperature, s.weather.humidity, s.weather.barometer,
        s.weather.windSpeed, s.weather.windDir,     s.ballSpeed,        s.launchAngle,
        s.sideAngle,         s.totalSpin,           s.backSpin,         s.sideSpin,
        s.flight.carry,      s.flight.carryOffline, s.flight.total,     s.flight.totalOffline,
        s.flight.roll,       s.flight.maxHeight,    s.flight.flightTime};
    for (double n : numbers)
        if (!std::isfinite(n)) return "shot " + s.id + " has a value that is not a number";
    for (auto v : {s.clubSpeed, s.attackAngle, s.pathAngle, s.faceAngle, s.effectiveLoft,
                   s.clubMass, s.clubLoft, s.confidence}) {
        if (!Finite(v)) return "shot " + s.id + " has a club value that is not a number";
    }
    for (const TrajectoryPoint& p : s.trajectory) {
        if (!std::isfinite(p.t) || !std::isfinite(p.x) || !std::isfinite(p.y) ||
            !std::isfinite(p.z)) {
            return "shot " + s.id + " has a trajectory point that is not a number";
        }
    }
    return {};
}

}  // namespace kyvern::store
