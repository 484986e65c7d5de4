#include "model/LowPriority.hpp"

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#elif defined(__APPLE__)
#include <pthread.h>
#include <sys/qos.h>
#endif

#include <algorithm>
#include <cerrno>

namespace vantery::app {

bool lowerThisThreadPriority() {
#if defined(__linux__)
    constexpr int background = 10;
    // PRIO_PROCESS with a thread id addresses that one thread on Linux.
    const auto self = static_cast<id_t>(gettid());
    errno = 0;
    const int now = getpriority(PRIO_PROCESS, self);
    if (now == -1 && errno != 0) return false;
    return setpriority(PRIO_PROCESS, self, std::max(now, background)) == 0;
#elif defined(__APPLE__)
    return pthread_set_qos_class_self_np(QOS_CLASS_UTILITY, 0) == 0;
#else
    return false;
#endif
}

} // namespace vantery::app
