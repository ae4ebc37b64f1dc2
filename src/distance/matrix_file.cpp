#include "distance/matrix_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/output.h"

namespace varnel {
namespace {

// "%f" rounds the exact binary value to six decimals, ties to even. For a
// non-negative finite value below 2^63 that is exact in integers: value =
// mantissa * 2^-shift, and the fraction's millionths are (fraction * 10^6) >>
// shift, with the bits shifted out deciding the rounding.
bool append_fixed6(std::string& out, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased = int(bits >> 52);  // the sign bit too: negatives take the slow path
    if (biased >= 0x7ff) return false;
    std::uint64_t mantissa = bits & ((std::uint64_t(1) << 52) - 1);
    int exponent = -1074;
    if (biased != 0) mantissa |= std::uint64_t(1) << 52, exponent = biased - 1075;
    std::uint64_t units = 0;
    std::uint32_t micro = 0;
    if (exponent >= 0) {
        if (exponent > 10) return false;
        units = mantissa << exponent;
    } else {
        const int shift = -exponent;
        std::uint64_t fraction = mantissa;
        if (shift < 64) units = mantissa >> shift, fraction = mantissa & ((std::uint64_t(1) << shift) - 1);
        if (shift < 128) {
            using u128 = unsigned __int128;
            const u128 scaled = u128(fraction) * 1000000u;  // below 2^73
            const u128 rest = scaled & ((u128(1) << shift) - 1), half = u128(1) << (shift - 1);
            micro = std::uint32_t(scaled >> shift);
            if (rest > half || (rest == half && (micro & 1))) ++micro;
            if (micro == 1000000u) micro = 0, ++units;
        }  // else below 10^-22: rounds to zero
    }
    char text[40];
    char* p = text + sizeof text;
    *--p = ' ';
    for (int k = 0; k < 6; ++k, micro /= 10) *--p = char('0' + micro % 10);
    *--p = '.';
    do *--p = char('0' + units % 10);
    while ((units /= 10) != 0);
    out.append(p, std::size_t(text + sizeof text - p));
    return true;
}

}  // namespace

void append_value(std::string& out, double value) {
    if (append_fixed6(out, value)) return;
    if (std::isnan(value)) {  // the C libraries disagree on a NaN's text; a NaN here means 0/0
        out += std::signbit(value) ? "-nan " : "nan ";
        return;
    }
    char text[400];  // "%f" of the largest double has 316 characters
    const int n = std::snprintf(text, sizeof text, "%f ", value);
    out.append(text, std::size_t(n));
}

void wo(analysis& st) {
    const std::int32_t n = st.num;
    for (std::int32_t l = 0; l < n; ++l) st.dist(l, l) = 0.0;
    // The lower triangle mirrors the upper in square tiles, whose rows and
    // columns stay in the caches: a column at a time, each value would be a
    // miss in a large matrix.
    constexpr std::int32_t tile = 64;
    for (std::int32_t l0 = 0; l0 < n; l0 += tile)
        for (std::int32_t a0 = l0; a0 < n; a0 += tile)
            for (std::int32_t l = l0; l < std::min(l0 + tile, n); ++l)
                for (std::int32_t a = std::max(a0, l + 1); a < std::min(a0 + tile, n); ++a) st.dist(a, l) = st.dist(l, a);

    put(st, std::to_string(n));
    std::string row;
    for (std::int32_t r = 0; r < n; ++r) {
        row.assign(1, '\r');
        row.append(st.data_name[r].data(), st.data_name[r].size());
        for (std::int32_t c = 0; c < n; ++c) append_value(row, st.dist(r, c));
        put(st, row);
    }
}

}  // namespace varnel
