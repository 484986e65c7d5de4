#include "RecordBuilder.hpp"

#include <atomic>
#include <fstream>
#include <stdexcept>

#include <gtest/gtest.h>
#include <unistd.h>

namespace vantery::fixtures {

UsageRecord makeRecord(double timestamp, std::string model, std::int64_t input,
                       std::int64_t output) {
    UsageRecord r;
    r.timestamp = timestamp;
    r.model = std::move(model);
    r.sessionId = "s1";
    r.rawCwd = "/w/p";
    r.sourceHome = ".claude";
    r.input = input;
    r.output = output;
    return r;
}

Calendar zone(const char* name) {
    auto c = Calendar::named(name);
    if (!c) {
        ADD_FAILURE() << "unknown zone " << name;
        return Calendar::utc();
    }
    return *c;
}

double at(const Calendar& cal, int y, int mo, int d, int h, int mi, double s) {
    return cal.instantOf(LocalDay::fromYMD(y, mo, d), h, mi, s);
}

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("vantery-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::mkdirs(const std::string& relative) const {
    auto p = path_ / relative;
    std::filesystem::create_directories(p);
    return p.string();
}

std::string TempDir::touch(const std::string& relative) const {
    auto p = path_ / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p) << "gitdir: elsewhere\n";
    return p.string();
}

} // namespace vantery::fixtures
