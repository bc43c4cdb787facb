#include "ui/qt_timer_host.h"

#include <QTimer>

namespace kyvern::ui {

QtTimerHost::QtTimerHost(QObject* parent) : QObject(parent) {}

QtTimerHost::~QtTimerHost() {
    for (auto& [id, timer] : timers_)
        timer->stop();
}

void QtTimerHost::StartTimer(int id, int periodMs) {
    QTimer*& timer = timers_[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        // A coarse timer may fire up to 5 % late; the shot cycle's periods are promises.
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, id] {
            if (tick_) tick_(id);
        });
    }
    timer->start(periodMs);
}

void QtTimerHost::StopTimer(int id) {
    auto found = timers_.find(id);
    if (found != timers_.end()) found->second->stop();
}

bool QtTimerHost::IsRunning(int id) const {
    auto found = timers_.find(id);
    return found != timers_.end() && found->second->isActive();
}

int QtTimerHost::Period(int id) const { return IsRunning(id) ? timers_.at(id)->interval() : 0; }

}  // namespace kyvern::ui
