#pragma once
// The longest interval between ticks of a 5 ms timer on the GUI thread: how long the
// event loop was kept from running.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

namespace vantery::app::bench {

class StallMeter {
  public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        clock_.start();
        timer_.start();
    }
    void reset() {
        last_ = clock_.nsecsElapsed();
        longest_ = 0;
    }
    /// Longest gap so far, the one still open included, in milliseconds.
    double longestMs() const {
        return static_cast<double>(std::max(longest_, clock_.nsecsElapsed() - last_)) / 1e6;
    }

  private:
    void tick() {
        const qint64 t = clock_.nsecsElapsed();
        longest_ = std::max(longest_, t - last_);
        last_ = t;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};

} // namespace vantery::app::bench
