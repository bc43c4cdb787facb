#include "store/sql_shot_store.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

namespace kyvern::store {

namespace {

// The schema in words both dialects share; Dialected puts in each one's own types.
constexpr const char* kSchemaV1 = R"(
CREATE TABLE kyvern_meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);
INSERT INTO kyvern_meta (key, value) VALUES ('application', 'Kyvern shot history');
CREATE TABLE schema_version (version INTEGER NOT NULL);
INSERT INTO schema_version (version) VALUES (0);
CREATE TABLE players (id ID_T, name TEXT NOT NULL UNIQUE);
CREATE TABLE sessions (
    id ID_T,
    player_id INT_T NOT NULL REFERENCES players (id),
    name TEXT NOT NULL,
    UNIQUE (player_id, name));
CREATE TABLE shots (
    id TEXT PRIMARY KEY,
    session_id INT_T NOT NULL REFERENCES sessions (id),
    time_ms INT_T NOT NULL,
    time_utc TEXT NOT NULL,
    item TEXT NOT NULL,
    bay TEXT NOT NULL,
    ball TEXT NOT NULL,
    altitude REAL_T NOT NULL,
    temperature REAL_T NOT NULL,
    humidity REAL_T NOT NULL,
    barometer REAL_T NOT NULL,
    wind_speed REAL_T NOT NULL,
    wind_dir REAL_T NOT NULL,
    distance_unit INTEGER NOT NULL,
    speed_unit INTEGER NOT NULL,
    analysis_precision TEXT NOT NULL,
    ball_speed REAL_T NOT NULL,
    launch_angle REAL_T NOT NULL,
    side_angle REAL_T NOT NULL,
    total_spin REAL_T NOT NULL,
    back_spin REAL_T NOT NULL,
    side_spin REAL_T NOT NULL,
    club_speed REAL_T,
    attack_angle REAL_T,
    path_angle REAL_T,
    face_angle REAL_T,
    effective_loft REAL_T,
    club_mass REAL_T,
    club_loft REAL_T,
    carry REAL_T NOT NULL,
    carry_offline REAL_T NOT NULL,
    total REAL_T NOT NULL,
    total_offline REAL_T NOT NULL,
    roll REAL_T NOT NULL,
    max_height REAL_T NOT NULL,
    flight_time REAL_T NOT NULL,
    putt INTEGER NOT NULL,
    confidence REAL_T,
    image_file TEXT NOT NULL,
    point_count INTEGER NOT NULL);
CREATE TABLE shot_cameras (
    shot_id TEXT NOT NULL REFERENCES shots (id) ON DELETE CASCADE,
    slot INTEGER NOT NULL,
    serial TEXT NOT NULL,
    PRIMARY KEY (shot_id, slot)) NOROWID;
CREATE TABLE trajectory_points (
    shot_id TEXT NOT NULL REFERENCES shots (id) ON DELETE CASCADE,
    idx INTEGER NOT NULL,
    t REAL_T NOT NULL,
    x REAL_T NOT NULL,
    y REAL_T NOT NULL,
    z REAL_T NOT NULL,
    PRIMARY KEY (shot_id, idx)) NOROWID;
)";

// The queries by time, by session and the gapping table (which the index covers).
constexpr const char* kSchemaV2 = R"(
CREATE INDEX shots_by_time ON shots (time_ms);
CREATE INDEX shots_by_session ON shots (session_id, time_ms);
CREATE INDEX shots_for_gapping ON shots (item, putt, carry, total);
)";

// Whether the spin was measured too doubtfully to be passed on: such spins stay out of a spin's
// trend. Every shot stored before was taken as measured.
constexpr const char* kSchemaV3 = R"(
ALTER TABLE shots ADD COLUMN spin_doubtful INTEGER NOT NULL DEFAULT 0;
)";

struct Migration {
    int version;
    const char* script;
};
constexpr Migration kMigrations[] = {{1, kSchemaV1}, {2, kSchemaV2}, {3, kSchemaV3}};
static_assert(std::size(kMigrations) == kLatestSchemaVersion);

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

std::string Dialected(const char* script, SqlDialect dialect) {
    std::string text = script;
    const bool lite = dialect == SqlDialect::kSqlite;
    ReplaceAll(text, "ID_T",
               lite ? "INTEGER PRIMARY KEY" : "BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY");
    ReplaceAll(text, "INT_T", lite ? "INTEGER" : "BIGINT");
    ReplaceAll(text, "REAL_T", lite ? "REAL" : "DOUBLE PRECISION");
    ReplaceAll(text, "NOROWID", lite ? "WITHOUT ROWID" : "");
    return text;
}

// The shots columns in the order Write binds and Shots reads them (after the names).
constexpr const char* kShotColumns =
    "s.id, s.time_ms, s.item, s.bay, s.ball, s.altitude, s.temperature, s.humidity, "
    "s.barometer, s.wind_speed, s.wind_dir, s.distance_unit, s.speed_unit, "
    "s.analysis_precision, s.ball_speed, s.launch_angle, s.side_angle, s.total_spin, "
    "s.back_spin, s.side_spin, s.club_speed, s.attack_angle, s.path_angle, s.face_angle, "
    "s.effective_loft, s.club_mass, s.club_loft, s.carry, s.carry_offline, s.total, "
    "s.total_offline, s.roll, s.max_height, s.flight_time, s.putt, s.confidence, s.image_file, "
    "s.point_count, s.spin_doubtful";

SqlValue Optional(const std::optional<double>& value) {
    if (!value) return std::monostate{};
    return *value;
}

// FROM and WHERE of a query over shots s, with the names joined as p and se.
std::string FromWhere(const ShotFilter& f, SqlParams& params, bool withNames) {
    const bool names = withNames || !f.player.empty() || !f.session.empty();
    std::string sql = " FROM shots s";
    if (names) {
        sql += " JOIN sessions se ON se.id = s.session_id JOIN players p ON p.id = se.player_id";
    }
    std::string where;
    auto add = [&where](const std::string& condition) {
        where += where.empty() ? " WHERE " : " AND ";
        where += condition;
    };
    if (!f.player.empty()) add("p.name = " + params.Add(f.player));
    if (!f.session.empty()) add("se.name = " + params.Add(f.session));
    if (!f.item.empty()) add("LOWER(TRIM(s.item)) = LOWER(TRIM(" + params.Add(f.item) + "))");
    if (!f.bay.empty()) add("s.bay = " + params.Add(f.bay));
    if (f.fromMs) add("s.time_ms >= " + params.Add(*f.fromMs));
    if (f.toMs) add("s.time_ms < " + params.Add(*f.toMs));
    return sql + where;
}

constexpr std::size_t kPointsPerInsert = 50;

// What tells one club from another: its name without the case or the spaces around it, the
// way the item filter compares.
std::string ItemKey(std::string_view item) {
    const std::size_t first = item.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    item = item.substr(first, item.find_last_not_of(' ') - first + 1);
    std::string key(item);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return key;
}

}  // namespace

std::string NewerSchemaReason(int found, const std::string& where) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "The shot store has schema version %d; this program knows versions up to %d "
                  "and leaves it as it is. Use a newer Kyvern",
                  found, kLatestSchemaVersion);
    return std::string(text) + " (" + where + ")";
}

SqlShotStore::SqlShotStore(std::unique_ptr<SqlLink> link, std::string where)
    : link_(std::move(link)), where_(std::move(where)) {}

base::Status SqlShotStore::Failed(const std::string& what, const base::Status& why) const {
    return base::Status::Failure(what + " (" + where_ + "): " + why.Reason());
}

base::Status SqlShotStore::ReadVersion(int& version) {
    version = 0;
    bool marked = false;
    if (auto s = link_->TableExists("kyvern_meta", marked); !s) return s;
    if (!marked) {
        // Tables of ours without the marker: someone else's database, not to be touched.
        for (const char* table : {"schema_version", "players", "sessions", "shots"}) {
            bool exists = false;
            if (auto s = link_->TableExists(table, exists); !s) return s;
            if (exists) {
                return base::Status::Failure(
                    "it holds a table \"" + std::string(table) +
                    "\" but is not a Kyvern shot history; it is left as it is");
            }
        }
        return {};
    }
    SqlRows rows;
    if (auto s = link_->Run("SELECT version FROM schema_version", {}, &rows); !s) return s;
    if (rows.Size() != 1) return base::Status::Failure("its schema_version table is damaged");
    version = static_cast<int>(rows.Int(0, 0));
    return {};
}

base::Status SqlShotStore::Migrate() {
    if (auto s = link_->LockSchema(); !s) return Failed("Could not open the shot store", s);
    struct Unlock {
        SqlLink& link;
        ~Unlock() { link.UnlockSchema(); }
    } unlock{*link_};

    int version = 0;
    if (auto s = ReadVersion(version); !s) return Failed("Could not open the shot store", s);
    if (version > kLatestSchemaVersion) {
        return base::Status::Failure(NewerSchemaReason(version, where_));
    }
    for (const Migration& m : kMigrations) {
        if (m.version <= version) continue;
        if (auto s = link_->Begin(); !s) return Failed("Could not update the shot store", s);
        // Another program may have migrated while this one waited for the lock.
        int now = 0;
        base::Status s = ReadVersion(now);
        if (s && now < m.version) {
            s = link_->RunScript(Dialected(m.script, link_->Dialect()));
            if (s && m.version == 1 && link_->Dialect() == SqlDialect::kSqlite) {
                char pragma[64];
                std::snprintf(pragma, sizeof pragma, "PRAGMA application_id = %d",
                              kSqliteApplicationId);
                s = link_->RunScript(pragma);
            }
            if (s) {
                s = link_->Run("UPDATE schema_version SET version = $1",
                               {static_cast<std::int64_t>(m.version)}, nullptr);
            }
        }
        if (s) s = link_->Commit();
        if (!s) {
            link_->Rollback();
            return Failed("Could not update the shot store", s);
        }
        version = std::max(now, m.version);
    }
    version_ = version;
    return {};
}

base::Status SqlShotStore::WriteRows(const StoredShot& shot, bool& added) {
    SqlRows rows;
    const std::vector<SqlValue> player{shot.player};
    if (auto s = link_->Run("INSERT INTO players (name) VALUES ($1) ON CONFLICT (name) DO NOTHING",
                            player, nullptr);
        !s) {
        return s;
    }
    if (auto s = link_->Run("SELECT id FROM players WHERE name = $1", player, &rows); !s) return s;
    if (rows.Size() != 1) return base::Status::Failure("the player row was not found");
    const std::vector<SqlValue> session{rows.Int(0, 0), shot.session};
    if (auto s = link_->Run("INSERT INTO sessions (player_id, name) VALUES ($1, $2) "
                            "ON CONFLICT (player_id, name) DO NOTHING",
                            session, nullptr);
        !s) {
        return s;
    }
    if (auto s = link_->Run("SELECT id FROM sessions WHERE player_id = $1 AND name = $2", session,
                            &rows);
        !s) {
        return s;
    }
    if (rows.Size() != 1) return base::Status::Failure("the session row was not found");
    const std::int64_t sessionId = rows.Int(0, 0);

    const std::vector<SqlValue> values{shot.id,
                                       sessionId,
                                       shot.timeMs,
                                       IsoUtcText(shot.timeMs),
                                       shot.item,
                                       shot.bay,
                                       shot.ball,
                                       shot.weather.altitude,
                                       shot.weather.temperature,
                                       shot.weather.humidity,
                                       shot.weather.barometer,
                                       shot.weather.windSpeed,
                                       shot.weather.windDir,
                                       static_cast<std::int64_t>(shot.distanceUnit),
                                       static_cast<std::int64_t>(shot.speedUnit),
                                       shot.precision,
                                       shot.ballSpeed,
                                       shot.launchAngle,
                                       shot.sideAngle,
                                       shot.totalSpin,
                                       shot.backSpin,
                                       shot.sideSpin,
                                       Optional(shot.clubSpeed),
                                       Optional(shot.attackAngle),
                                       Optional(shot.pathAngle),
                                       Optional(shot.faceAngle),
                                       Optional(shot.effectiveLoft),
                                       Optional(shot.clubMass),
                                       Optional(shot.clubLoft),
                                       shot.flight.carry,
                                       shot.flight.carryOffline,
                                       shot.flight.total,
                                       shot.flight.totalOffline,
                                       shot.flight.roll,
                                       shot.flight.maxHeight,
                                       shot.flight.flightTime,
                                       static_cast<std::int64_t>(shot.putt ? 1 : 0),
                                       Optional(shot.confidence),
                                       shot.imageFile,
                                       static_cast<std::int64_t>(shot.trajectory.size()),
                                       static_cast<std::int64_t>(shot.spinDoubtful ? 1 : 0)};
    std::string sql =
        "INSERT INTO shots (id, session_id, time_ms, time_utc, item, bay, ball, altitude, "
        "temperature, humidity, barometer, wind_speed, wind_dir, distance_unit, speed_unit, "
        "analysis_precision, ball_speed, launch_angle, side_angle, total_spin, back_spin, "
        "side_spin, club_speed, attack_angle, path_angle, face_angle, effective_loft, club_mass, "
        "club_loft, carry, carry_offline, total, total_offline, roll, max_height, flight_time, "
        "putt, confidence, image_file, point_count, spin_doubtful) VALUES (";
    for (std::size_t i = 1; i <= values.size(); ++i) {
        char placeholder[32];
        std::snprintf(placeholder, sizeof placeholder, "%s$%zu", i > 1 ? ", " : "", i);
        sql += placeholder;
    }
    sql += ") ON CONFLICT (id) DO NOTHING RETURNING id";
    if (auto s = link_->Run(sql, values, &rows); !s) return s;
    added = rows.Size() == 1;
    if (!added) return {};

    for (std::size_t i = 0; i < shot.cameraSerials.size(); ++i) {
        if (auto s =
                link_->Run("INSERT INTO shot_cameras (shot_id, slot, serial) VALUES ($1, $2, $3)",
                           {shot.id, static_cast<std::int64_t>(i), shot.cameraSerials[i]}, nullptr);
            !s) {
            return s;
        }
    }
    // Many points to a statement: one round trip per point would dominate a network write.
    for (std::size_t first = 0; first < shot.trajectory.size(); first += kPointsPerInsert) {
        const std::size_t end = std::min(shot.trajectory.size(), first + kPointsPerInsert);
        SqlParams params;
        const std::string id = params.Add(shot.id);
        std::string points = "INSERT INTO trajectory_points (shot_id, idx, t, x, y, z) VALUES ";
        for (std::size_t i = first; i < end; ++i) {
            const TrajectoryPoint& p = shot.trajectory[i];
            points += (i > first ? ", (" : "(") + id + ", " +
                      params.Add(static_cast<std::int64_t>(i)) + ", " + params.Add(p.t) + ", " +
                      params.Add(p.x) + ", " + params.Add(p.y) + ", " + params.Add(p.z) + ")";
        }
        if (auto s = link_->Run(points, params.Values(), nullptr); !s) return s;
    }
    return {};
}

base::Status SqlShotStore::Write(const StoredShot& shot, bool* added) {
    if (added) *added = false;
    if (const std::string problem = ShotProblem(shot); !problem.empty()) {
        return base::Status::Failure("Could not write the shot (" + where_ + "): " + problem);
    }
    const std::string what = "Could not write shot " + shot.id;
    if (auto s = link_->Begin(); !s) return Failed(what, s);
    bool inserted = false;
    base::Status s = WriteRows(shot, inserted);
    if (s && !inserted) {
        // Already stored: nothing of this attempt is kept.
        link_->Rollback();
        return {};
    }
    if (s) s = link_->Commit();
    if (!s) {
        link_->Rollback();
        return Failed(what, s);
    }
    if (added) *added = true;
    return {};
}

base::Status SqlShotStore::WriteMany(std::span<const StoredShot> shots, int& added) {
    added = 0;
    for (const StoredShot& shot : shots) {
        if (const std::string problem = ShotProblem(shot); !problem.empty()) {
            return base::Status::Failure("Could not write the shots (" + where_ + "): " + problem);
        }
    }
    if (auto s = link_->Begin(); !s) return Failed("Could not write the shots", s);
    int count = 0;
    for (const StoredShot& shot : shots) {
        bool inserted = false;
        if (auto s = WriteRows(shot, inserted); !s) {
            link_->Rollback();
            return Failed("Could not write shot " + shot.id, s);
        }
        count += inserted ? 1 : 0;
    }
    if (auto s = link_->Commit(); !s) {
        link_->Rollback();
        return Failed("Could not write the shots", s);
    }
    added = count;
    return {};
}

base::Status SqlShotStore::Players(std::vector<std::string>& players) {
    players.clear();
    SqlRows rows;
    if (auto s = link_->Run("SELECT name FROM players ORDER BY name", {}, &rows); !s) {
        return Failed("Could not read the players", s);
    }
    for (std::size_t r = 0; r < rows.Size(); ++r)
        players.push_back(rows.Text(r, 0));
    return {};
}

base::Status SqlShotStore::Sessions(const ShotFilter& filter,
                                    std::vector<SessionSummary>& sessions) {
    sessions.clear();
    SqlParams params;
    const std::string sql = "SELECT p.name, se.name, MIN(s.time_ms), MAX(s.time_ms), COUNT(*)" +
                            FromWhere(filter, params, true) +
                            " GROUP BY se.id, p.id ORDER BY MIN(s.time_ms), se.id";
    SqlRows rows;
    if (auto s = link_->Run(sql, params.Values(), &rows); !s) {
        return Failed("Could not read the sessions", s);
    }
    for (std::size_t r = 0; r < rows.Size(); ++r) {
        sessions.push_back({rows.Text(r, 0), rows.Text(r, 1), rows.Int(r, 2), rows.Int(r, 3),
                            static_cast<long>(rows.Int(r, 4))});
    }
    return {};
}

base::Status SqlShotStore::Shots(const ShotFilter& filter, std::vector<StoredShot>& shots) {
    shots.clear();
    SqlParams params;
    std::string selected =
        "SELECT s.id" + FromWhere(filter, params, false) + " ORDER BY s.time_ms, s.id";
    if (filter.limit > 0) {
        selected += " LIMIT " + params.Add(static_cast<std::int64_t>(filter.limit));
    }
    const std::string sql = "SELECT p.name, se.name, " + std::string(kShotColumns) +
                            " FROM shots s JOIN sessions se ON se.id = s.session_id"
                            " JOIN players p ON p.id = se.player_id WHERE s.id IN (" +
                            selected + ") ORDER BY s.time_ms, s.id";
    SqlRows rows;
    if (auto s = link_->Run(sql, params.Values(), &rows); !s) {
        return Failed("Could not read the shots", s);
    }
    std::unordered_map<std::string, std::size_t> index;
    std::vector<std::size_t> pointCounts;
    for (std::size_t r = 0; r < rows.Size(); ++r) {
        StoredShot& shot = shots.emplace_back();
        std::size_t c = 0;
        auto text = [&] { return rows.Text(r, c++); };
        auto real = [&] { return rows.Real(r, c++); };
        auto optional = [&] { return rows.OptionalReal(r, c++); };
        auto integer = [&] { return rows.Int(r, c++); };
        shot.player = text();
        shot.session = text();
        shot.id = text();
        shot.timeMs = integer();
        shot.item = text();
        shot.bay = text();
        shot.ball = text();
        shot.weather.altitude = real();
        shot.weather.temperature = real();
        shot.weather.humidity = real();
        shot.weather.barometer = real();
        shot.weather.windSpeed = real();
        shot.weather.windDir = real();
        shot.distanceUnit = static_cast<int>(integer());
        shot.speedUnit = static_cast<int>(integer());
        shot.precision = text();
        shot.ballSpeed = real();
        shot.launchAngle = real();
        shot.sideAngle = real();
        shot.totalSpin = real();
        shot.backSpin = real();
        shot.sideSpin = real();
        shot.clubSpeed = optional();
        shot.attackAngle = optional();
        shot.pathAngle = optional();
        shot.faceAngle = optional();
        shot.effectiveLoft = optional();
        shot.clubMass = optional();
        shot.clubLoft = optional();
        shot.flight.carry = real();
        shot.flight.carryOffline = real();
        shot.flight.total = real();
        shot.flight.totalOffline = real();
        shot.flight.roll = real();
        shot.flight.maxHeight = real();
        shot.flight.flightTime = real();
        shot.putt = integer() != 0;
        shot.confidence = optional();
        shot.imageFile = text();
        pointCounts.push_back(static_cast<std::size_t>(integer()));
        shot.spinDoubtful = integer() != 0;
        index.emplace(shot.id, r);
    }
    if (shots.empty()) return {};

    if (auto s = link_->Run("SELECT c.shot_id, c.serial FROM shot_cameras c WHERE c.shot_id IN (" +
                                selected + ") ORDER BY c.shot_id, c.slot",
                            params.Values(), &rows);
        !s) {
        return Failed("Could not read the shots' cameras", s);
    }
    for (std::size_t r = 0; r < rows.Size(); ++r) {
        if (auto it = index.find(rows.Text(r, 0)); it != index.end()) {
            shots[it->second].cameraSerials.push_back(rows.Text(r, 1));
        }
    }
    if (auto s =
            link_->Run("SELECT tp.shot_id, tp.t, tp.x, tp.y, tp.z FROM trajectory_points tp WHERE "
                       "tp.shot_id IN (" +
                           selected + ") ORDER BY tp.shot_id, tp.idx",
                       params.Values(), &rows);
        !s) {
        return Failed("Could not read the trajectories", s);
    }
    for (std::size_t r = 0; r < rows.Size(); ++r) {
        if (auto it = index.find(rows.Text(r, 0)); it != index.end()) {
            shots[it->second].trajectory.push_back(
                {rows.Real(r, 1), rows.Real(r, 2), rows.Real(r, 3), rows.Real(r, 4)});
        }
    }
    for (std::size_t i = 0; i < shots.size(); ++i) {
        if (shots[i].trajectory.size() != pointCounts[i]) {
            return base::Status::Failure("Shot " + shots[i].id + " is damaged in " + where_ +
                                         ": its trajectory is incomplete");
        }
    }
    return {};
}

base::Status SqlShotStore::Gapping(const ShotFilter& filter, std::vector<GappingRow>& out) {
    out.clear();
    SqlParams params;
    std::string from = FromWhere(filter, params, false);
    from += from.find(" WHERE ") == std::string::npos ? " WHERE s.putt = 0" : " AND s.putt = 0";
    const std::string sql =
        "SELECT s.item, COUNT(*), SUM(s.carry), SUM(s.carry * s.carry), SUM(s.total), "
        "SUM(s.total * s.total)" +
        from + " GROUP BY s.item";
    SqlRows rows;
    if (auto s = link_->Run(sql, params.Values(), &rows); !s) {
        return Failed("Could not compute the gapping", s);
    }
    // "7 Iron", "7 iron" and "7 Iron " are one club typed three ways: their sums add up, and
    // the club shows under the spelling most of its shots were recorded with.
    struct Sums {
        std::string item;
        long mostShots = 0;
        long n = 0;
        double carry = 0, carry2 = 0, total = 0, total2 = 0;
    };
    std::vector<Sums> clubs;
    std::unordered_map<std::string, std::size_t> byKey;
    for (std::size_t r = 0; r < rows.Size(); ++r) {
        const std::string item = rows.Text(r, 0);
        const long n = static_cast<long>(rows.Int(r, 1));
        const auto [at, added] = byKey.try_emplace(ItemKey(item), clubs.size());
        if (added) clubs.push_back({});
        Sums& c = clubs[at->second];
        if (n > c.mostShots || (n == c.mostShots && item < c.item)) c.item = item, c.mostShots = n;
        c.n += n;
        c.carry += rows.Real(r, 2), c.carry2 += rows.Real(r, 3);
        c.total += rows.Real(r, 4), c.total2 += rows.Real(r, 5);
    }
    for (const Sums& c : clubs)
        out.push_back(
            {c.item, c.n, SpreadOf(c.n, c.carry, c.carry2), SpreadOf(c.n, c.total, c.total2)});
    // Sorted here, the same way in both dialects: their text collations differ.
    std::sort(out.begin(), out.end(), [](const GappingRow& a, const GappingRow& b) {
        if (a.carry.mean != b.carry.mean) return a.carry.mean > b.carry.mean;
        return a.item < b.item;
    });
    return {};
}

base::Status SqlShotStore::Trend(std::string_view value, const ShotFilter& filter,
                                 std::vector<TrendPoint>& points) {
    points.clear();
    const TrendValue* v = FindTrendValue(value);
    if (!v) return base::Status::Failure(UnknownTrendValueReason(value));
    SqlParams params;
    std::string from = FromWhere(filter, params, true);
    const std::string expression = v->column;
    from += (from.find(" WHERE ") == std::string::npos ? " WHERE " : " AND ") + expression +
            " IS NOT NULL";
    if (v->measuredSpin) from += " AND s.spin_doubtful = 0";
    const std::string sql = "SELECT p.name, se.name, MIN(s.time_ms), COUNT(*), SUM(" + expression +
                            "), SUM(" + expression + " * " + expression + ")" + from +
                            " GROUP BY se.id, p.id ORDER BY MIN(s.time_ms), se.id";
    SqlRows rows;
    if (auto s = link_->Run(sql, params.Values(), &rows); !s) {
        return Failed("Could not compute the trend", s);
    }
    for (std::size_t r = 0; r < rows.Size(); ++r) {
        const long n = static_cast<long>(rows.Int(r, 3));
        points.push_back({rows.Text(r, 0), rows.Text(r, 1), rows.Int(r, 2), n,
                          SpreadOf(n, rows.Real(r, 4), rows.Real(r, 5))});
    }
    return {};
}

}  // namespace kyvern::store
