#include "store/queued_store.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "base/atomic_file.h"
#include "store/shot_json.h"

namespace kyvern::store {

namespace {

namespace fs = std::filesystem;

constexpr const char* kQueueSuffix = ".json";
// A queued file larger than this is no shot of ours (200 points take some 20 kB).
constexpr std::uintmax_t kMaxQueuedFileBytes = 4u << 20;

// The id as it goes into a file name: itself when it is plain, else a hash of it.
std::string FilePart(const std::string& id) {
    const bool plain =
        !id.empty() && id.size() <= 80 && std::all_of(id.begin(), id.end(), [](unsigned char c) {
            return std::isalnum(c) || c == '-' || c == '_';
        });
    if (plain) return id;
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : id) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    char text[24];
    std::snprintf(text, sizeof text, "h%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// The queued files, oldest first: their names begin with the shot time.
std::vector<fs::path> QueuedFiles(const std::string& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        std::error_code typeError;
        if (p.extension() == kQueueSuffix && it->is_regular_file(typeError)) files.push_back(p);
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool ReadQueued(const fs::path& path, std::string& text, std::string& why) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        why = ec.message();
        return false;
    }
    if (size > kMaxQueuedFileBytes) {
        why = "it is too large to be a shot";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), {});
    if (!in.good() && !in.eof()) {
        why = "it cannot be read";
        return false;
    }
    return true;
}

}  // namespace

QueuedStore::QueuedStore(Opener opener, std::string queueFolder)
    : opener_(std::move(opener)), folder_(std::move(queueFolder)) {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    base::RemoveStaleTemporaries(folder_);
    CountQueue();
}

void QueuedStore::SetReopenInterval(std::chrono::milliseconds interval) {
    std::lock_guard lock(backendMutex_);
    reopenInterval_ = interval;
}

void QueuedStore::CountQueue() {
    const int count = static_cast<int>(QueuedFiles(folder_).size());
    std::lock_guard lock(stateMutex_);
    state_.queued = count;
}

void QueuedStore::SetError(std::string text) {
    std::lock_guard lock(stateMutex_);
    state_.lastError = std::move(text);
}

StoreState QueuedStore::State() const {
    std::lock_guard lock(stateMutex_);
    return state_;
}

bool QueuedStore::EnsureOpen(bool force) {
    if (backend_) return true;
    const auto now = std::chrono::steady_clock::now();
    if (!force && everTried_ && now - lastOpenAttempt_ < reopenInterval_) return false;
    everTried_ = true;
    lastOpenAttempt_ = now;
    std::unique_ptr<ShotStore> opened;
    base::Status s = opener_(opened);
    if (s && !opened) s = base::Status::Failure("The shot store could not be opened");
    std::lock_guard lock(stateMutex_);
    if (!s) {
        state_.connected = false;
        state_.lastError = s.Reason();
        return false;
    }
    backend_ = std::move(opened);
    state_.connected = true;
    state_.where = backend_->Describe();
    return true;
}

void QueuedStore::Lost(const base::Status& why) {
    // Opened afresh next time: a server restarted or a file replaced needs a new connection.
    backend_.reset();
    lastOpenAttempt_ = std::chrono::steady_clock::now();
    std::lock_guard lock(stateMutex_);
    state_.connected = false;
    state_.lastError = why.Reason();
}

base::Status QueuedStore::Enqueue(const StoredShot& shot) {
    if (const std::string problem = ShotProblem(shot); !problem.empty()) {
        return base::Status::Failure("The shot cannot be stored: " + problem);
    }
    std::uint64_t sequence = 0;
    {
        std::lock_guard lock(stateMutex_);
        sequence = ++sequence_;
    }
    char prefix[80];
    std::snprintf(prefix, sizeof prefix, "%016lld-%d-%08llu-", static_cast<long long>(shot.timeMs),
                  static_cast<int>(::getpid()), static_cast<unsigned long long>(sequence));
    const std::string path = folder_ + "/" + prefix + FilePart(shot.id) + kQueueSuffix;
    std::string why;
    if (!base::ReplaceFileAtomically(path, ShotToJson(shot), &why)) {
        std::string text = "Shot " + shot.id + " is lost: the store did not take it and the " +
                           "queue " + path + " could not be written (" + why + ")";
        SetError(text);
        return base::Status::Failure(std::move(text));
    }
    std::lock_guard lock(stateMutex_);
    ++state_.queued;
    return {};
}

base::Status QueuedStore::Write(const StoredShot& shot, bool* added) {
    if (added) *added = false;
    if (const std::string problem = ShotProblem(shot); !problem.empty()) {
        return base::Status::Failure("The shot cannot be stored: " + problem);
    }
    std::unique_lock lock(backendMutex_, std::try_to_lock);
    // A flush or a query holds the store: the shot does not wait for it.
    if (!lock.owns_lock() || !EnsureOpen(false)) return Enqueue(shot);
    if (base::Status s = backend_->Write(shot, added); !s) {
        Lost(s);
        return Enqueue(shot);
    }
    int queued = 0;
    {
        std::lock_guard stateLock(stateMutex_);
        state_.connected = true;
        state_.lastError.clear();
        queued = state_.queued;
    }
    // The store is back: the shots it missed go now. A failure here is in the state.
    if (queued > 0) (void)DrainQueue();
    return {};
}

base::Status QueuedStore::Flush() {
    std::lock_guard lock(backendMutex_);
    CountQueue();
    if (!EnsureOpen(true)) {
        return base::Status::Failure(State().lastError);
    }
    return DrainQueue();
}

base::Status QueuedStore::DrainQueue() {
    const std::string aside = folder_ + "/" + kSetAsideFolderName;
    for (const fs::path& file : QueuedFiles(folder_)) {
        std::string text;
        std::string why;
        StoredShot shot;
        if (!ReadQueued(file, text, why) || !ShotFromJson(text, shot, why)) {
            // Kept for a person to look at, out of the way of the shots behind it.
            std::error_code ec;
            fs::create_directories(aside, ec);
            fs::rename(file, fs::path(aside) / file.filename(), ec);
            std::lock_guard lock(stateMutex_);
            if (!ec) --state_.queued, ++state_.setAside;
            state_.lastError = "The queued shot file " + file.string() + " is damaged (" + why +
                               (ec ? "); it could not be moved aside: " + ec.message()
                                   : "); it is moved to " + aside);
            continue;
        }
        if (base::Status s = backend_->Write(shot); !s) {
            Lost(s);
            return s;
        }
        // Only now: had the program died before, the shot would be written again, and the
        // store keeps one of a shot id.
        std::error_code ec;
        if (fs::remove(file, ec)) {
            std::lock_guard lock(stateMutex_);
            --state_.queued;
        }
    }
    std::lock_guard lock(stateMutex_);
    state_.connected = true;
    return {};
}

template <typename F>
base::Status QueuedStore::Query(F&& f) {
    std::lock_guard lock(backendMutex_);
    if (!EnsureOpen(true)) return base::Status::Failure(State().lastError);
    return f(*backend_);
}

base::Status QueuedStore::Players(std::vector<std::string>& players) {
    return Query([&](ShotStore& s) { return s.Players(players); });
}
base::Status QueuedStore::Sessions(const ShotFilter& filter,
                                   std::vector<SessionSummary>& sessions) {
    return Query([&](ShotStore& s) { return s.Sessions(filter, sessions); });
}
base::Status QueuedStore::Shots(const ShotFilter& filter, std::vector<StoredShot>& shots) {
    return Query([&](ShotStore& s) { return s.Shots(filter, shots); });
}
base::Status QueuedStore::Gapping(const ShotFilter& filter, std::vector<GappingRow>& rows) {
    return Query([&](ShotStore& s) { return s.Gapping(filter, rows); });
}
base::Status QueuedStore::Trend(std::string_view value, const ShotFilter& filter,
                                std::vector<TrendPoint>& points) {
    return Query([&](ShotStore& s) { return s.Trend(value, filter, points); });
}

int QueuedStore::SchemaVersion() const {
    std::lock_guard lock(backendMutex_);
    return backend_ ? backend_->SchemaVersion() : 0;
}

std::string QueuedStore::Describe() const {
    std::lock_guard lock(stateMutex_);
    return state_.where.empty() ? "the shot store (not opened yet)" : state_.where;
}

}  // namespace kyvern::store
