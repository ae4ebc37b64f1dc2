#include "base/state.h"

#include <new>

#include "base/failure.h"
#include "base/system.h"

namespace varnel {
namespace {

// Physical memory in bytes, or 0 when the system does not say.
std::uint64_t physical_memory() {
#if defined(_WIN32)
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status)) return status.ullTotalPhys;
#elif defined(__unix__) && defined(_SC_PHYS_PAGES)
    long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page > 0) return std::uint64_t(pages) * std::uint64_t(page);
#endif
    return 0;
}

}  // namespace

void allocate_matrices(analysis& st) {
    const std::uint64_t n = std::uint64_t(st.num), cells = n * n;
    const std::uint64_t bytes = cells * sizeof(std::int32_t) + n * sizeof(std::int32_t);
    const std::uint64_t memory = physical_memory();
    // Touching more than the machine holds would get the process killed half-way.
    if ((memory != 0 && bytes > memory) || cells > SIZE_MAX / sizeof(std::int32_t))
        throw run_error("Cannot allocate memory: " + std::to_string(n) + " records need " + std::to_string(bytes) +
                        " bytes for their counts" +
                        (memory != 0 ? ", more than this machine's " + std::to_string(memory) : std::string()));
    try {
        st.ex_com.assign(n, 0);
        st.cr_ex_com.assign(cells, 0);
    } catch (const std::bad_alloc&) {
        throw run_error("Cannot allocate memory: " + std::to_string(n) + " records need " + std::to_string(bytes) +
                        " bytes for their counts");
    }
}

}  // namespace varnel
