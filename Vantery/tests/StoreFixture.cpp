#include "StoreFixture.hpp"

#include <QCoreApplication>
#include <QThreadPool>

#include <condition_variable>
#include <mutex>
#include <stdexcept>

#include <fmt/format.h>

namespace vantery::app::testing {

std::string haikuLine(const std::string& id, const std::string& isoTimestamp, double dollars,
                      const std::string& session) {
    return fmt::format(
        R"({{"type":"assistant","timestamp":"{}","requestId":"req_{}","sessionId":"{}",)"
        R"("cwd":"/w/app","message":{{"id":"msg_{}","model":"claude-haiku-4-5",)"
        R"("usage":{{"input_tokens":{},"output_tokens":0}}}}}})"
        "\n",
        isoTimestamp, id, session, id, static_cast<long long>(dollars * 1'000'000));
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
    QThreadPool::globalInstance()->waitForDone();
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
