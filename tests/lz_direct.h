// The exhaustive-history Lempel-Ziv parse, one position at a time, by direct
// comparison of bytes: slow, but a line-by-line rendering of the definition,
// so the tests hold the engine to it.
#pragma once

#include <cstdint>

namespace varnel {

struct parse_state {
    std::int32_t j = 0;         // smallest start whose stretch up to i occurs before i
    std::int32_t boundary = 0;  // start of the component under way
    std::int32_t count = 0;     // components completed
};

// Adds position i of `str` (which holds at least i + 1 bytes) to the parse.
void lz_step(const unsigned char* str, std::int32_t i, parse_state& s);

// Runs lz_step over str[from] .. str[to - 1].
void lz_steps(const unsigned char* str, std::int32_t from, std::int32_t to, parse_state& s);

}  // namespace varnel
