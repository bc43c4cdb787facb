#pragma once

// The automated test: every saved image of a folder through the whole shot cycle, one result
// line per image in the result file. Kept apart from the cycle, which it drives through the
// monitor on its own timer.

#include <cstddef>
#include <string>
#include <vector>

namespace kyvern::app {

class LaunchMonitor;

class RegressionTest {
public:
    explicit RegressionTest(LaunchMonitor& monitor) : monitor_(monitor) {}

    // Starts a run as window start does when RegressionTest/Test is "Yes". A command line may
    // name the folder and the continuous flag instead of the settings.
    void Start();
    void Start(std::string directory, bool continuous);
    bool Running() const { return running_; }
    // One image: the tick of the test timer.
    void RunStep();

private:
    void End();

    LaunchMonitor& monitor_;
    bool running_ = false;
    bool restart_ = true;
    std::vector<std::string> files_;
    std::size_t index_ = 0;
    std::string directory_;  // empty: RegressionTest/Directory
    bool continuous_ = false;
};

}  // namespace kyvern::app
