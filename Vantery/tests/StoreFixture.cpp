#include "StoreFixture.hpp"

#include <QCoreApplication>

#include <condition_variable>
#include <mutex>
#include <stdexcept>

#include "model/BackgroundTask.hpp"

namespace vantery::app::testing {

std::string haikuLine(const std::string& id, const std::string& isoTimestamp, double dollars,
                      const std::string& session) {
    vantery::testing::UsageLine l;
    l.timestamp = isoTimestamp;
    l.messageId = "msg_" + id;
    l.requestId = "req_" + id;
    l.sessionId = session;
    l.cwd = "/w/app";
    l.model = "claude-haiku-4-5";
    l.input = static_cast<std::int64_t>(dollars * 1'000'000);
    l.output = 0;
    return vantery::testing::usageLine(l);
}

Calendar testCalendar() {
    return *Calendar::named("Europe/Berlin");
}

StoreFixture::StoreFixture() = default;

UsageStore::Options StoreFixture::options(bool start, int timerMs) const {
    UsageStore::Options o;
    o.home = home.path();
    o.cachePath = cachePath();
    o.calendar = testCalendar();
    o.clock = [c = clock] { return *c; };
    o.userCalendar = [] { return testCalendar(); };
    o.timerIntervalMs = timerMs;
    o.start = start;
    return o;
}

double StoreFixture::at(int y, int mo, int d, int h, int mi) const {
    return testCalendar().instantOf(LocalDay::fromYMD(y, mo, d), h, mi, 0);
}

bool waitFor(QSignalSpy& spy, int count) {
    while (spy.count() < count)
        if (!spy.wait(10'000)) return false;
    return true;
}

void drainBackgroundWork() {
    workPool().waitForDone();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

struct CacheGate::State {
    std::mutex mutex;
    std::condition_variable opened;
    bool isOpen = false;
};

CacheGate::CacheGate() : state_(std::make_shared<State>()) {}

CacheGate::~CacheGate() {
    open();
}

std::function<void()> CacheGate::hold() const {
    return [state = state_] {
        std::unique_lock lock(state->mutex);
        state->opened.wait(lock, [&] { return state->isOpen; });
    };
}

void CacheGate::open() {
    {
        std::lock_guard lock(state_->mutex);
        state_->isOpen = true;
    }
    state_->opened.notify_all();
}

} // namespace vantery::app::testing
