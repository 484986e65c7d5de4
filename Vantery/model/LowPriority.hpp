#pragma once
// Background work that should yield the machine to everything else (the full
// verification re-reads every transcript on every core).
#include <exception>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

namespace vantery::app {

/// Lowers the calling thread's scheduling priority: nice +10 on Linux (nice is per
/// thread there, and the threads it creates afterwards inherit it), the utility QoS
/// class on macOS. Never raises a priority already lower. False where the platform has
/// no such control or refused.
bool lowerThisThreadPriority();

/// Runs `work` on a new thread of its own at lowered priority and returns its result (or
/// rethrows its exception) on the caller's thread, which waits. A thread of its own
/// because a lowered priority cannot be raised back without privileges: lowering a pool
/// thread would slow every later task it runs.
template <class Work> std::invoke_result_t<Work&> atLowPriority(Work&& work) {
    using Result = std::invoke_result_t<Work&>;
    std::exception_ptr failure;
    std::conditional_t<std::is_void_v<Result>, bool, std::optional<Result>> result{};
    std::thread([&] {
        lowerThisThreadPriority();
        try {
            if constexpr (std::is_void_v<Result>)
                work();
            else
                result.emplace(work());
        } catch (...) {
            failure = std::current_exception();
        }
    }).join();
    if (failure) std::rethrow_exception(failure);
    if constexpr (!std::is_void_v<Result>) return std::move(*result);
}

} // namespace vantery::app
