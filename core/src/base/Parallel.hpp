#pragma once
// Runs independent jobs on a few threads, one per hardware thread at most.
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

/// Calls job(i) once for every i in [0, count), on up to one thread per hardware
/// thread (never more than count or maxWorkers); returns when all are done. The first exception
/// a job throws is rethrown here after every thread has finished.
template <class Job> void forEach(std::size_t count, Job&& job, std::size_t maxWorkers = SIZE_MAX) {
    std::size_t workers = std::max(1u, std::thread::hardware_concurrency());
    workers = std::min({workers, count, maxWorkers});
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
