#pragma once
// Compact construction of usage records and instants, for every test suite.
#include <string>

#include "vantery/base/Calendar.hpp"
#include "vantery/model/UsageRecord.hpp"

namespace vantery::fixtures {

/// A record of `model` with the given input and output tokens at an instant, made by
/// `agent` in `cwd`, in session "s1" of the home ".claude".
UsageRecord makeRecord(double timestamp, std::string model = "claude-sonnet-4-5",
                       std::int64_t input = 1000, std::int64_t output = 100,
                       AgentIdentity agent = {}, std::string cwd = "/w/p");

/// A calendar for a zone the test needs; fails the test when the zone is unknown.
Calendar zone(const char* name);

/// The instant of a local wall-clock time in the calendar.
double at(const Calendar& cal, int y, int mo, int d, int h = 0, int mi = 0, double s = 0);

} // namespace vantery::fixtures
