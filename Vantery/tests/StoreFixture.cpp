#include "StoreFixture.hpp"

#include <QCoreApplication>
#include <QThreadPool>

#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

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

Calendar testCalendar() { return *Calendar::named("Europe/Berlin"); }

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

CacheGate::CacheGate(std::string path) : path_(path) {
    if (::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo " + path);
    // Held open for writing, so the reader blocks in read() until this end closes, even
    // when a save replaces the path meanwhile.
    fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("open " + path);
}

CacheGate::~CacheGate() { open(); }

void CacheGate::open() {
    if (fd_ < 0) return;
    // A load that has not reached the path yet finds no file; one already in it reads
    // to the end once this writer closes.
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
}

} // namespace vantery::app::testing
