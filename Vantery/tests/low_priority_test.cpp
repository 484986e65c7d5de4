// The full verification's threads run below normal priority, and nothing else does.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "model/LowPriority.hpp"

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace vantery::app {
namespace {

#if defined(__linux__)
int niceOfThisThread() {
    return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
}

TEST(LowPriority, WorkAndTheThreadsItStartsRunNicedWhileTheCallerIsNot) {
    const int callerBefore = niceOfThisThread();
    int inWork = -100, inWorker = -100;
    const int answer = atLowPriority([&] {
        inWork = niceOfThisThread();
        // As the core's scan workers are started from the verification's thread.
        std::thread([&] { inWorker = niceOfThisThread(); }).join();
        return 42;
    });
    EXPECT_EQ(answer, 42);
    EXPECT_GE(inWork, 10);
    EXPECT_GE(inWorker, 10);
    EXPECT_EQ(niceOfThisThread(), callerBefore);
}
#endif

TEST(LowPriority, RethrowsTheWorksFailureOnTheCaller) {
    EXPECT_THROW(atLowPriority([]() -> int { throw std::runtime_error("unreadable"); }),
                 std::runtime_error);
}

} // namespace
} // namespace vantery::app
