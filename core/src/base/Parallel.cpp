#include "base/Parallel.hpp"

#include <cerrno>

#ifdef __linux__
#include <sched.h>
#endif

namespace vantery::parallel {

std::size_t usableCpus() noexcept {
#ifdef __linux__
    // The mask grows until the kernel's fits: a machine may have more CPUs than
    // cpu_set_t holds.
    for (int cpus = CPU_SETSIZE; cpus <= (1 << 16); cpus *= 2) {
        cpu_set_t* set = CPU_ALLOC(cpus);
        if (!set) break;
        const std::size_t size = CPU_ALLOC_SIZE(cpus);
        const int got = sched_getaffinity(0, size, set);
        const int count = got == 0 ? CPU_COUNT_S(size, set) : 0;
        const bool tooSmall = got != 0 && errno == EINVAL;
        CPU_FREE(set);
        if (count > 0) return static_cast<std::size_t>(count);
        if (!tooSmall) break;
    }
#endif
    return std::max(1u, std::thread::hardware_concurrency());
}

} // namespace vantery::parallel
