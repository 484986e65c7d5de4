#pragma once
// A store over a temporary home and cache file, with a settable clock and a fixed zone.
#include <QSignalSpy>

#include <functional>
#include <memory>
#include <string>

#include "TempDir.hpp"
#include "TranscriptLine.hpp"
#include "model/UsageStore.hpp"

namespace vantery::app::testing {

/// One assistant usage line of request `id`: claude-haiku-4-5 at $1 per million input
/// tokens, so `dollars` million input tokens cost exactly that many dollars.
std::string haikuLine(const std::string& id, const std::string& isoTimestamp, double dollars,
                      const std::string& session = "s1");

/// The zone every store test runs in; not UTC, so that nothing leans on UTC by accident.
Calendar testCalendar();

/// A temporary home and cache file, and a clock the test moves.
struct StoreFixture {
    vantery::testing::TempHome home;
    vantery::testing::TempDir cacheDir;
    std::shared_ptr<double> clock = std::make_shared<double>(0);

    StoreFixture();
    /// Options over this home and cache; the store does not start unless `start`.
    UsageStore::Options options(bool start = true, int timerMs = 3'600'000) const;
    std::string cachePath() const { return cacheDir / "scan-cache.bin"; }
    /// The instant of a local time in the test zone.
    double at(int y, int mo, int d, int h = 0, int mi = 0) const;
};

/// Waits until the spy has seen `count` signals (at most 10 s each); true when it did.
bool waitFor(QSignalSpy& spy, int count = 1);

/// Lets every background task end and delivers their results, so that a test can tell
/// that something was NOT published.
void drainBackgroundWork();

/// Holds the store's first cache load (through Options::beforeLoad) until open(), so a
/// test can act while the first scan has not even started.
class CacheGate {
  public:
    CacheGate();
    ~CacheGate(); ///< opens the gate if the test has not, so no worker stays blocked
    CacheGate(const CacheGate&) = delete;
    CacheGate& operator=(const CacheGate&) = delete;
    /// What to install as Options::beforeLoad.
    std::function<void()> hold() const;
    void open();

  private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace vantery::app::testing
