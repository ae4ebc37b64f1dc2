#include "base/parallel.h"

#if defined(__linux__)
#include <sched.h>
#endif

namespace varnel {

std::int32_t usable_processors() {
#if defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
#endif
    return std::int32_t(std::thread::hardware_concurrency());
}

}  // namespace varnel
