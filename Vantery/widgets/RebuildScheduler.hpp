#pragma once
// Coalesced redraws: a refresh publishes several values one after the other, and a view
// that follows them all should redraw once, after the last.
#include <functional>

#include <QObject>

namespace vantery::app {

/// Runs `rebuild` once on the next turn of the event loop however often request() is
/// called before then. Nothing runs once `owner` is gone.
class RebuildScheduler {
  public:
    RebuildScheduler(QObject* owner, std::function<void()> rebuild);
    void request();
    /// Drops a pending request (the owner has just rebuilt anyway).
    void cancel() noexcept { pending_ = false; }

  private:
    QObject* owner_;
    std::function<void()> rebuild_;
    bool pending_ = false;
};

} // namespace vantery::app
