#include "ui/history_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "support/eventually.h"

namespace kyvern::ui {
namespace {

using kyvern::testing::Eventually;

// A store as slow as a range's server can be: its player list waits until the test opens the
// gate. Each player has one club of their own, so a history shows whose it is.
class GatedStore final : public store::ShotStore {
public:
    void Open() {
        const std::lock_guard lock(mutex_);
        open_ = true;
        gate_.notify_all();
    }
    void Close() {
        const std::lock_guard lock(mutex_);
        open_ = false;
    }
    std::atomic<int> waiting{0};
    std::atomic<int> busy{0};  // queries under way

    base::Status Write(const store::StoredShot&, bool*) override { return {}; }
    base::Status Players(std::vector<std::string>& players) override {
        ++busy;
        ++waiting;
        std::unique_lock lock(mutex_);
        // A window that read on its own thread would wait here forever: fail instead.
        const bool opened = gate_.wait_for(lock, std::chrono::seconds(20), [&] { return open_; });
        --waiting;
        --busy;
        if (!opened) return base::Status::Failure("the gate stayed closed");
        players = {"Ann", "Bob"};
        return {};
    }
    base::Status Sessions(const store::ShotFilter& filter,
                          std::vector<store::SessionSummary>& sessions) override {
        sessions = {{filter.player, "s1", 1000, 2000, 1}};
        return {};
    }
    base::Status Shots(const store::ShotFilter&, std::vector<store::StoredShot>& shots) override {
        shots.clear();
        return {};
    }
    base::Status Gapping(const store::ShotFilter& filter,
                         std::vector<store::GappingRow>& rows) override {
        rows = {{filter.player == "Bob" ? "7 Iron" : "Driver", 1, {}, {}}};
        return {};
    }
    base::Status Trend(std::string_view, const store::ShotFilter&,
                       std::vector<store::TrendPoint>& points) override {
        points.clear();
        return {};
    }
    int SchemaVersion() const override { return 3; }
    std::string Describe() const override { return "gated"; }

private:
    std::mutex mutex_;
    std::condition_variable gate_;
    bool open_ = false;
};

// The window asks the store on a thread of its own: the user's table goes on while the store is
// slow, only the latest question is shown, and a window closed mid-question waits for it.
TEST(HistoryWindow, ReadsTheStoreWithoutHoldingTheWindow) {
    GatedStore store;
    std::thread opener;
    {
        HistoryWindow window(store);
        window.Refresh();  // returns while the store still holds the player list
        ASSERT_TRUE(Eventually([&] { return store.waiting == 1; }));
        EXPECT_TRUE(window.Reading());
        EXPECT_EQ(window.History().shots, 0);

        window.SetPlayer("Bob");  // asked again before the first answer came
        window.Refresh();
        store.Open();
        window.Settle();
        EXPECT_FALSE(window.Reading());
        EXPECT_TRUE(window.Problem().empty()) << window.Problem();
        EXPECT_EQ(window.History().player, "Bob");
        EXPECT_EQ(window.PlayerBox()->currentText().toStdString(), "Bob");
        EXPECT_EQ(window.PlayerBox()->count(), 2);
        ASSERT_EQ(window.History().gapping.size(), 1u);
        EXPECT_EQ(window.History().gapping[0].item, "7 Iron");

        window.PlayerBox()->setCurrentIndex(window.PlayerBox()->findText("Ann"));
        window.Settle();
        ASSERT_EQ(window.History().gapping.size(), 1u);
        EXPECT_EQ(window.History().gapping[0].item, "Driver");

        store.Close();
        window.Refresh();
        ASSERT_TRUE(Eventually([&] { return store.waiting == 1; }));
        opener = std::thread([&] { store.Open(); });
    }  // the window goes with its question under way
    EXPECT_EQ(store.busy, 0);
    opener.join();
}

}  // namespace
}  // namespace kyvern::ui
