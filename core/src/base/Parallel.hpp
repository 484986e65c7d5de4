#pragma once
// Runs independent jobs on a few threads, one per CPU the process may use at most.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace vantery::parallel {

namespace detail {
inline std::atomic<std::size_t> threadCap{0}; // 0: no cap
}

/// How many CPUs this process may run on: its affinity (taskset, a cgroup's cpuset)
/// where the system says, else every hardware thread; at least 1. Read anew at each
/// call, so an affinity changed while running counts from the next job on.
std::size_t usableCpus() noexcept;

/// Caps the worker threads of every scan, refresh and merge of this process; 0 lifts
/// the cap. Figures never depend on it: only how long they take.
inline void setMaxThreads(std::size_t n) noexcept {
    detail::threadCap.store(n, std::memory_order_relaxed);
}

/// How many threads a job may use: one per usable CPU, within the cap.
inline std::size_t maxThreads() noexcept {
    const std::size_t n = usableCpus();
    const std::size_t cap = detail::threadCap.load(std::memory_order_relaxed);
    return cap == 0 ? n : std::min(n, cap);
}

/// Calls job(i) once for every i in [0, count), on up to maxThreads() threads (never more than
/// count or maxWorkers); returns when all are done. The first exception a job throws is rethrown
/// here after every thread has finished.
template <class Job> void forEach(std::size_t count, Job&& job, std::size_t maxWorkers = SIZE_MAX) {
    const std::size_t workers = std::min({maxThreads(), count, maxWorkers});
    if (workers <= 1) {
        for (std::size_t i = 0; i < count; ++i)
            job(i);
        return;
    }
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto run = [&] {
        try {
            for (std::size_t i; (i = next.fetch_add(1)) < count;)
                job(i);
        } catch (...) {
            std::lock_guard g(failureLock);
            if (!failure) failure = std::current_exception();
            next.store(count);
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(workers - 1);
    for (std::size_t w = 1; w < workers; ++w) {
        try {
            threads.emplace_back(run);
        } catch (const std::system_error&) {
            break; // no more threads to be had: the ones running do the rest
        }
    }
    run();
    for (auto& t : threads)
        t.join();
    if (failure) std::rethrow_exception(failure);
}

} // namespace vantery::parallel
