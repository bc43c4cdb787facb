// What publishing a shot to the golf simulator costs the shot cycle, whatever the peer does:
// the publisher's step (the shot copied and handed to the link's thread) with a peer that
// accepts and never reads, and with no peer at all (each shot then becomes a report that the
// next timer tick shows; BM_SimulatorReportNotDelivered is that tick). Counters give the
// median, the 99th percentile and the worst call in microseconds.
#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>
#include "bench_support.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/link_publishers.h"
#include "base/program_folder.h"
#include "flight/flight_model.h"
#include "links/club_sensor.h"
#include "links/simulator_link.h"

namespace {

using kyvern::bench::QuietPrompts;

class QuietList final : public kyvern::base::MessageList {
public:
    void Add(std::string_view) override {}
};

// A listening socket on loopback that takes connections and never reads them.
struct StalledPeer {
    StalledPeer() {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd, 4);
        socklen_t size = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
    }
    ~StalledPeer() { ::close(fd); }
    int fd = -1;
    int port = 0;
};

void Publish(benchmark::State& state, bool peer, bool report = false) {
    char pattern[] = "/tmp/kyvern-bench-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    ::setenv("KYVERN_HOME", folder.c_str(), 1);
    kyvern::base::EnsureProgramFolder();
    StalledPeer stalled;
    kyvern::links::SimLinkConfig config;
    config.protocol = kyvern::links::SimProtocol::kOpenConnect;
    config.port = peer ? stalled.port : 1;  // port 1: refused at once
    auto link = std::make_unique<kyvern::links::SimulatorLink>(config);
    link->Start();
    while (link->State().phase !=
           (peer ? kyvern::links::SimLinkPhase::kConnected : kyvern::links::SimLinkPhase::kError))
        std::this_thread::yield();

    QuietPrompts prompts;
    QuietList list;
    kyvern::links::StatusFile status(folder + "/status.ini");
    kyvern::app::MonitorView view;
    kyvern::app::MonitorView* viewPointer = &view;
    kyvern::app::SimulatorLinkPublisher publisher(link, list, prompts, status, viewPointer);
    kyvern::links::ClubSensor sensor(prompts);
    kyvern::shot::ShotRecord shot;
    shot.launch.Set(220.0, 11.5, -1.2, 2650.0, 2600.0, 400.0);
    shot.club.clubSpeed.Set(150.0);
    kyvern::flight::FlightModel flight;
    flight.Compute(220.0, 11.5, 2600.0, 400.0, -1.2);
    const kyvern::app::PassOptions pass;
    const kyvern::app::PublishedShot published{shot,  sensor, flight, flight, 2600.0,
                                               400.0, {},     true,   pass};

    std::vector<double> micros;
    micros.reserve(100000);
    for (auto _ : state) {
        if (report) {
            state.PauseTiming();
            publisher.ShotFinished(published);
            state.ResumeTiming();
        }
        const auto start = std::chrono::steady_clock::now();
        if (report) {
            publisher.Poll(true);
        } else {
            publisher.ShotFinished(published);
        }
        micros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["max_us"] = micros.back();
    link->Stop();
    link.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
}

void BM_SimulatorPublishStalledPeer(benchmark::State& state) { Publish(state, true); }
void BM_SimulatorPublishNoPeer(benchmark::State& state) { Publish(state, false); }
void BM_SimulatorReportNotDelivered(benchmark::State& state) { Publish(state, false, true); }

// A shot a few times a second is the real pace; a few thousand calls show the spread.
BENCHMARK(BM_SimulatorPublishStalledPeer)->Iterations(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SimulatorPublishNoPeer)->Iterations(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SimulatorReportNotDelivered)->Iterations(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
