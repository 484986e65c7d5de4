// The worker count follows the CPUs the process may run on, not every core the
// machine has: under `taskset -c 0` a scan runs on one thread.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "base/Parallel.hpp"

#ifdef __linux__
#include <sched.h>
#endif

using namespace vantery;

#ifdef __linux__
TEST(Parallel, WorkersFollowTheAffinity) {
    cpu_set_t all;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(parallel::usableCpus(), static_cast<std::size_t>(CPU_COUNT(&all)));
    int first = 0;
    while (!CPU_ISSET(first, &all))
        ++first;

    // A thread of its own: the affinity set there leaves the test's other threads be.
    std::size_t cpus = 0, threads = 0, workersSeen = 0;
    std::thread([&] {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(first, &one);
        if (sched_setaffinity(0, sizeof one, &one) != 0) return;
        cpus = parallel::usableCpus();
        threads = parallel::maxThreads();
        std::atomic<std::size_t> calls{0};
        std::mutex seenLock;
        std::set<std::thread::id> seen;
        parallel::forEach(64, [&](std::size_t) {
            ++calls;
            std::lock_guard g(seenLock);
            seen.insert(std::this_thread::get_id());
        });
        workersSeen = calls == 64 ? seen.size() : 0;
    }).join();
    EXPECT_EQ(cpus, 1u);
    EXPECT_EQ(threads, 1u);
    EXPECT_EQ(workersSeen, 1u);
}
#endif
