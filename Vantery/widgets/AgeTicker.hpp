#pragma once
// One clock read for every age text of the app ("updated 18s ago" in the status bar and
// the panel, "last refresh 18s ago" and "full verification 3s ago" in the Sources tab),
// so that they move on while nothing else happens and never disagree with one another.
#include <QObject>
#include <QTimer>

namespace vantery::app {

class UsageStore;

class AgeTicker : public QObject {
    Q_OBJECT
  public:
    /// How often the clock is read while nothing else happens…
    static constexpr int intervalMs = 10'000;
    /// …and while the youngest age it measures still counts seconds.
    static constexpr int secondsIntervalMs = 1'000;

    /// The store's one ticker (a child of the store), made at the first call.
    static AgeTicker& of(UsageStore& store);

    /// The last clock read: what every age text is measured against.
    double now() const noexcept { return now_; }

    /// Reads the store's clock now and emits ticked().
    void tick();

    /// The timer that calls tick() (for tests).
    const QTimer& timer() const noexcept { return timer_; }

  signals:
    /// At every read: on the timer, and whenever the last refresh or the verification
    /// changes, so that no age is measured against a read taken before its moment.
    void ticked(double now);

  private:
    explicit AgeTicker(UsageStore& store);
    /// Picks the timer's interval from the ages now measured.
    void schedule();

    UsageStore& store_;
    QTimer timer_;
    double now_ = 0;
};

} // namespace vantery::app
