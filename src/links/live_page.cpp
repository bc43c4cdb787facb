#include "links/live_page.h"

#include <arpa/inet.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>

#include <nlohmann/json.hpp>

namespace kyvern::links {

namespace {

constexpr const char* kPage = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Kyvern live</title><link rel="stylesheet" href="app.css"></head>
<body data-seq="0">
<header><h1 id="title">Waiting for the first shot</h1><span id="state">connecting</span></header>
<section id="figures"></section>
<section id="below"><img id="picture" alt="Down Range" hidden>
<div id="tablewrap"><table id="table"><thead></thead><tbody></tbody></table></div></section>
<script src="app.js"></script></body></html>
)";

constexpr const char* kStyle = R"(
* { box-sizing: border-box; }
body { margin: 0; background: #10151b; color: #f2f5f7; font-family: "DejaVu Sans", sans-serif; }
header { display: flex; justify-content: space-between; align-items: baseline; padding: 1vh 2vw; }
h1 { font-size: clamp(18px, 3vw, 40px); margin: 0; font-weight: 600; }
#state { font-size: clamp(12px, 1.4vw, 18px); color: #8fa3b5; }
#state.live { color: #6fd38a; }
#figures { display: grid; grid-template-columns: repeat(auto-fit, minmax(160px, 1fr));
  gap: 1vw; padding: 0 2vw; }
.tile { background: #1c252e; border-radius: 10px; padding: 1.2vh 1vw; text-align: center; }
.tile .label { font-size: clamp(12px, 1.5vw, 22px); color: #9fb3c6; text-transform: uppercase; }
.tile .value { font-size: clamp(30px, min(4vw, 9vh), 110px); font-weight: 700; line-height: 1.1;
  font-variant-numeric: tabular-nums; white-space: nowrap; }
.tile .unit { font-size: clamp(12px, 1.4vw, 20px); color: #9fb3c6; }
#below { display: flex; flex-wrap: wrap; gap: 2vw; padding: 2vh 2vw; }
#picture { flex: 1 1 420px; max-width: 100%; max-height: 60vh; object-fit: contain;
  border-radius: 8px; background: #fff; }
#tablewrap { flex: 1 1 420px; overflow: auto; max-height: 60vh; }
table { border-collapse: collapse; width: 100%; font-size: clamp(11px, 1.1vw, 16px);
  font-variant-numeric: tabular-nums; }
th, td { padding: 4px 8px; border-bottom: 1px solid #2a3642; text-align: right; white-space: nowrap; }
th { color: #9fb3c6; position: sticky; top: 0; background: #10151b; }
tbody tr:last-child { background: #243241; font-weight: 700; }
)";

constexpr const char* kScript = R"(
'use strict';
const token = new URLSearchParams(location.search).get('token');
const q = token ? '?token=' + encodeURIComponent(token) : '';
const el = id => document.getElementById(id);
function cell(tag, text) { const c = document.createElement(tag); c.textContent = text; return c; }
function show(shot) {
  document.body.dataset.seq = shot.sequence;
  const latency = Date.now() - shot.recordedMs;
  document.body.dataset.latencyMs = latency;
  el('title').textContent = shot.title;
  const figures = el('figures'); figures.replaceChildren();
  for (const f of shot.figures) {
    const t = document.createElement('div'); t.className = 'tile';
    t.append(cell('div', f.label), cell('div', f.value), cell('div', f.unit));
    t.children[0].className = 'label'; t.children[1].className = 'value';
    t.children[2].className = 'unit';
    figures.append(t);
  }
  const head = document.querySelector('#table thead'); head.replaceChildren();
  const hr = document.createElement('tr');
  for (const h of shot.header) hr.append(cell('th', h));
  head.append(hr);
  const body = document.querySelector('#table tbody'); body.replaceChildren();
  for (const row of shot.rows) {
    const tr = document.createElement('tr');
    for (const c of row) tr.append(cell('td', c));
    body.append(tr);
  }
  el('tablewrap').scrollTop = 1e9;
  const picture = el('picture');
  picture.hidden = !shot.picture;
  if (shot.picture) picture.src = 'downrange.png' + (q ? q + '&' : '?') + 'seq=' + shot.sequence;
  fetch('seen' + (q ? q + '&' : '?') + 'seq=' + shot.sequence + '&latency=' + latency);
}
// The shot already there shows at once, before the stream has said a word.
fetch('shot.json' + q).then(r => r.status === 200 ? r.json() : null).then(s => {
  if (s && Number(document.body.dataset.seq) < s.sequence) show(s);
});
// The browser retries a dropped stream itself, but not one the monitor refused (too many pages
// open): that one is tried again a little later.
function listen() {
  const events = new EventSource('events' + q);
  events.onopen = () => { el('state').textContent = 'live'; el('state').className = 'live'; };
  events.onerror = () => {
    el('state').textContent = 'reconnecting'; el('state').className = '';
    if (events.readyState === EventSource.CLOSED) setTimeout(listen, 10000);
  };
  events.addEventListener('shot', e => {
    const s = JSON.parse(e.data);
    if (Number(document.body.dataset.seq) < s.sequence) show(s);
  });
}
listen();
)";

// Requests carry a few short headers; anything larger is not a page's.
constexpr std::size_t kMaxBody = 8 * 1024;
constexpr std::size_t kMaxHeaderBytes = 8 * 1024;
constexpr int kThreads = LivePage::kMaxPages + 4;

bool SameText(const std::string& a, const std::string& b) {
    // The same time whatever the first difference, so that a token cannot be guessed by timing.
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ (i < b.size() ? b[i] : 0));
    return diff == 0;
}

}  // namespace

struct LivePage::State {
    httplib::Server server;
    std::thread thread;
    int port = 0;
    std::string token;
    bool needsToken = false;

    mutable std::mutex mutex;
    std::condition_variable changed;
    LiveShot shot;
    std::string shotJson;  // empty until the first shot
    bool stopping = false;
    int subscribers = 0;
    LivePage::Seen seen;
};

bool IsLoopbackAddress(const std::string& address) {
    if (address == "localhost" || address == "::1") return true;
    in_addr ip{};
    return inet_pton(AF_INET, address.c_str(), &ip) == 1 && (ntohl(ip.s_addr) >> 24) == 127;
}

std::string GenerateToken() {
    std::random_device device;
    std::string token;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(device()));
        token += part;
    }
    return token;
}

LivePage::LivePage() : state_(std::make_shared<State>()) {}

LivePage::~LivePage() { Stop(); }

base::Status LivePage::Start(const LivePageOptions& options) {
    State& s = *state_;
    s.needsToken = !IsLoopbackAddress(options.address);
    s.token = options.token;
    if (s.needsToken && s.token.empty())
        return base::Status::Failure("The live page listens on " + options.address +
                                     " beyond this machine, so it needs a Web/Token");
    s.server.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    s.server.set_payload_max_length(kMaxBody);
    // Not the library's SO_REUSEPORT: a second program on the same port must be told, not
    // handed half of the pages.
    s.server.set_socket_options([](int sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    s.server.set_read_timeout(5, 0);
    s.server.set_keep_alive_max_count(100);
    s.server.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                                  {"Content-Security-Policy",
                                   "default-src 'self'; img-src 'self'; object-src 'none'; "
                                   "frame-ancestors 'none'"},
                                  {"Referrer-Policy", "no-referrer"},
                                  {"Cache-Control", "no-store"}});
    State* raw = &s;
    s.server.set_pre_routing_handler(
        [raw](const httplib::Request& request, httplib::Response& response) {
            if (request.method != "GET" && request.method != "HEAD") {
                response.status = 405;
                response.set_header("Allow", "GET, HEAD");
                response.set_content("Only GET and HEAD\n", "text/plain");
                return httplib::Server::HandlerResponse::Handled;
            }
            // The server takes any number of header lines; a page's request has a few.
            std::size_t headerBytes = 0;
            for (const auto& [name, value] : request.headers)
                headerBytes += name.size() + value.size() + 4;
            if (headerBytes > kMaxHeaderBytes) {
                response.status = 431;
                response.set_header("Connection", "close");
                response.set_content("Request headers too large\n", "text/plain");
                return httplib::Server::HandlerResponse::Handled;
            }
            // No page takes a body; one left unread would be taken for the next request.
            if ((request.has_header("Content-Length") &&
                 request.get_header_value("Content-Length") != "0") ||
                request.has_header("Transfer-Encoding")) {
                response.status = 413;
                response.set_header("Connection", "close");
                response.set_content("A request for a page carries no body\n", "text/plain");
                return httplib::Server::HandlerResponse::Handled;
            }
            if (raw->needsToken) {
                std::string given = request.get_param_value("token");
                const std::string bearer = request.get_header_value("Authorization");
                if (given.empty() && bearer.rfind("Bearer ", 0) == 0) given = bearer.substr(7);
                if (!SameText(given, raw->token)) {
                    response.status = 401;
                    response.set_content("The live page needs its token\n", "text/plain");
                    return httplib::Server::HandlerResponse::Handled;
                }
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
    s.server.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kPage, "text/html; charset=utf-8");
    });
    s.server.Get("/app.css", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kStyle, "text/css; charset=utf-8");
    });
    s.server.Get("/app.js", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kScript, "text/javascript; charset=utf-8");
    });
    s.server.Get("/shot.json", [raw](const httplib::Request&, httplib::Response& response) {
        const std::lock_guard lock(raw->mutex);
        if (raw->shotJson.empty()) {
            response.status = 204;
            return;
        }
        response.set_content(raw->shotJson, "application/json");
    });
    s.server.Get("/downrange.png", [raw](const httplib::Request&, httplib::Response& response) {
        const std::lock_guard lock(raw->mutex);
        if (raw->shot.picture.empty()) {
            response.status = 404;
            return;
        }
        response.set_content(raw->shot.picture, "image/png");
    });
    // Each page tells what it shows and how long after its recording: the monitor then knows
    // that the screen beside the bay is up to date.
    s.server.Get("/seen", [raw](const httplib::Request& request, httplib::Response& response) {
        char* end = nullptr;
        const std::string seq = request.get_param_value("seq");
        const std::string latency = request.get_param_value("latency");
        const unsigned long long n = std::strtoull(seq.c_str(), &end, 10);
        const long ms = std::strtol(latency.c_str(), nullptr, 10);
        response.status = 204;
        if (seq.empty() || *end != '\0') return;
        const std::lock_guard lock(raw->mutex);
        raw->seen = {n, ms};
    });
    s.server.Get("/events", [raw](const httplib::Request&, httplib::Response& response) {
        response.set_header("X-Accel-Buffering", "no");
        // The stream holds on to the page's state, which outlives the server's threads.
        auto sent = std::make_shared<std::uint64_t>(0);
        {
            // Each stream holds a thread for as long as its page is open: beyond the limit the
            // pages, the figures and the picture would find none left.
            const std::lock_guard lock(raw->mutex);
            if (raw->subscribers >= LivePage::kMaxPages) {
                response.status = 503;
                response.set_header("Retry-After", "10");
                response.set_content("Too many pages are open on the live page\n", "text/plain");
                return;
            }
            ++raw->subscribers;
        }
        response.set_chunked_content_provider(
            "text/event-stream",
            [raw, sent](std::size_t, httplib::DataSink& sink) {
                std::unique_lock lock(raw->mutex);
                raw->changed.wait_for(lock, std::chrono::seconds(15),
                                      [&] { return raw->stopping || raw->shot.sequence != *sent; });
                if (raw->stopping) {
                    lock.unlock();
                    sink.done();
                    return true;
                }
                std::string text;
                if (raw->shot.sequence != *sent) {
                    *sent = raw->shot.sequence;
                    text = "event: shot\ndata: " + raw->shotJson + "\n\n";
                } else {
                    text = ": still here\n\n";  // keeps proxies and the page's timer awake
                }
                lock.unlock();
                return sink.write(text.data(), text.size());
            },
            [raw](bool) {
                const std::lock_guard lock(raw->mutex);
                --raw->subscribers;
            });
    });

    if (options.port == 0) {
        s.port = s.server.bind_to_any_port(options.address);
        if (s.port <= 0)
            return base::Status::Failure("The live page cannot listen on " + options.address);
    } else {
        if (!s.server.bind_to_port(options.address, options.port))
            return base::Status::Failure("The live page cannot listen on " + options.address +
                                         " port " + std::to_string(options.port) +
                                         ": the port is taken or the address is not this "
                                         "machine's");
        s.port = options.port;
    }
    auto ended = std::make_shared<std::atomic<bool>>(false);
    s.thread = std::thread([raw, ended] {
        raw->server.listen_after_bind();
        ended->store(true);  // nothing more to wait for
    });
    // A stop before the server runs would be lost, and its thread never end.
    while (!s.server.is_running() && !ended->load())
        std::this_thread::yield();
    return {};
}

void LivePage::Stop() {
    State& s = *state_;
    {
        const std::lock_guard lock(s.mutex);
        s.stopping = true;
    }
    s.changed.notify_all();
    s.server.stop();
    if (s.thread.joinable()) s.thread.join();
}

int LivePage::Port() const { return state_->port; }

LivePage::Seen LivePage::LastSeen() const {
    const std::lock_guard lock(state_->mutex);
    return state_->seen;
}

int LivePage::Subscribers() const {
    const std::lock_guard lock(state_->mutex);
    return state_->subscribers;
}

void LivePage::Publish(LiveShot shot) {
    State& s = *state_;
    nlohmann::json figures = nlohmann::json::array();
    for (const LiveFigure& f : shot.figures)
        figures.push_back({{"label", f.label}, {"value", f.value}, {"unit", f.unit}});
    {
        const std::lock_guard lock(s.mutex);
        shot.sequence = s.shot.sequence + 1;
        const nlohmann::json document = {
            {"sequence", shot.sequence}, {"recordedMs", shot.recordedMs},
            {"title", shot.title},       {"putt", shot.putt},
            {"figures", figures},        {"header", shot.header},
            {"rows", shot.rows},         {"picture", !shot.picture.empty()}};
        // One line: an event's data must not hold a line break; invalid UTF-8 is replaced.
        s.shotJson = document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        s.shot = std::move(shot);
    }
    s.changed.notify_all();
}

}  // namespace kyvern::links
