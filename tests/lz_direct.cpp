#include "lz_direct.h"

namespace varnel {

void lz_step(const unsigned char* str, std::int32_t i, parse_state& s) {
    std::int32_t j = s.j;
    // Move j forward until str[j..i] occurs at some k < j (overlap allowed).
    for (; j < i + 1; ++j) {
        const std::int32_t len = i - j + 1;
        std::int32_t k = 0;
        for (; k < j; ++k) {
            std::int32_t m = k;
            while (m < k + len && str[m] == str[j + m - k]) ++m;
            if (m == k + len) break;
        }
        if (k < j) break;
    }
    s.j = j;
    if (s.j > s.boundary) {  // the component under way became new at i: it ends here
        ++s.count;
        s.boundary = i + 1;
    }
}

void lz_steps(const unsigned char* str, std::int32_t from, std::int32_t to, parse_state& s) {
    for (std::int32_t i = from; i < to; ++i) lz_step(str, i, s);
}

}  // namespace varnel
