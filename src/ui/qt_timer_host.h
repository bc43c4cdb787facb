#pragma once

#include <QObject>
#include <map>
#include <memory>

#include "app/timer_host.h"

class QTimer;

namespace kyvern::ui {

// The shot cycle's timers on the window's thread: one QTimer per identifier, each tick handed to
// the cycle from the event loop, so a tick never interrupts another.
class QtTimerHost final : public QObject, public app::TimerHost {
    Q_OBJECT
public:
    explicit QtTimerHost(QObject* parent = nullptr);
    ~QtTimerHost() override;

    void SetTick(Tick tick) override { tick_ = std::move(tick); }
    void StartTimer(int id, int periodMs) override;
    void StopTimer(int id) override;
    bool IsRunning(int id) const override;
    int Period(int id) const override;

private:
    Tick tick_;
    std::map<int, QTimer*> timers_;
};

}  // namespace kyvern::ui
