// Comparing texts of symbol codes a word at a time; internal to the engine.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "complexity/engine.h"

namespace varnel {

// Readable bytes after each text: a word read from anywhere up to span symbols
// past its end stays inside (spans are at most 16).
constexpr std::size_t text_pad = 32;

// Length of the common prefix of x[0 .. n) and y[0 .. m), a word at a time.
// Words may be read up to 8 bytes past either end (see text_pad); a
// negative length counts as none.
inline std::int32_t common_prefix(const std::uint8_t* x, std::int32_t n, const std::uint8_t* y, std::int32_t m) {
    const std::int32_t limit = std::max(std::min(n, m), 0);
    for (std::int32_t k = 0;; k += 8) {
        std::uint64_t wx, wy;
        std::memcpy(&wx, x + k, 8);
        std::memcpy(&wy, y + k, 8);
        const std::uint64_t diff = wx ^ wy;  // all zero: 64 bits alike
        const int bits = std::endian::native == std::endian::little ? std::countr_zero(diff) : std::countl_zero(diff);
        if (bits < 64 || k + 8 >= limit) return std::min(k + bits / 8, limit);
    }
}

// Longest common prefix of b.text and b.text[x ..], x <= b.n: what B's
// Z-array holds, compared directly where it is needed once (in the line just
// read) rather than fetched from an array the parse does not otherwise touch.
// A copy that long is a candidate for the component, so the comparing costs
// no more than the component's length.
inline std::int32_t from_start(const record_index& b, std::int32_t x) {
    return common_prefix(b.text, b.n, b.text + x, b.n - x);
}

// Offsets of the prefix levels of a window of `span` symbols: level d, the
// codes of d symbols, starts at off[d]; off[span + 1] is the size of all.
inline std::array<std::size_t, 18> level_offsets(const alphabet& abc, std::int32_t span) {
    std::array<std::size_t, 18> off{};
    for (std::int32_t d = 0; d <= span; ++d) off[std::size_t(d) + 1] = off[std::size_t(d)] + abc.power[std::size_t(d)];
    return off;
}

}  // namespace varnel
