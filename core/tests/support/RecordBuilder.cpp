#include "RecordBuilder.hpp"

#include <gtest/gtest.h>

namespace vantery::fixtures {

UsageRecord makeRecord(double timestamp, std::string model, std::int64_t input, std::int64_t output,
                       AgentIdentity agent, std::string cwd) {
    UsageRecord r;
    r.timestamp = timestamp;
    r.model = std::move(model);
    r.sessionId = "s1";
    r.rawCwd = std::move(cwd);
    r.agent = std::move(agent);
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

} // namespace vantery::fixtures
