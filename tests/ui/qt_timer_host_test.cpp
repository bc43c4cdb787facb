#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <vector>

#include "ui/qt_timer_host.h"

namespace kyvern::ui {
namespace {

// Ticks reach the cycle from the event loop by identifier; a restart takes the new period and a
// stopped timer stays silent.
TEST(QtTimerHost, DeliversTicksByIdentifierAndStops) {
    QtTimerHost host;
    std::vector<int> ticks;
    host.SetTick([&](int id) {
        ticks.push_back(id);
        if (id == 7) host.StopTimer(7);
    });
    host.StartTimer(7, 1);
    host.StartTimer(8, 50);
    host.StartTimer(8, 2);
    EXPECT_EQ(host.Period(8), 2);
    QElapsedTimer clock;
    clock.start();
    while (std::count(ticks.begin(), ticks.end(), 8) < 2 && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    EXPECT_EQ(std::count(ticks.begin(), ticks.end(), 7), 1);
    EXPECT_GE(std::count(ticks.begin(), ticks.end(), 8), 2);
    EXPECT_FALSE(host.IsRunning(7));
    EXPECT_EQ(host.Period(7), 0);
}

}  // namespace
}  // namespace kyvern::ui
