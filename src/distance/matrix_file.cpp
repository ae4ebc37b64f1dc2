#include "distance/matrix_file.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "base/output.h"
#include "base/parallel.h"

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

void wo(analysis& st, const measure& m) {
    const std::int32_t n = st.num;
    put(st, std::to_string(n));
    // Rows go in pieces of `rows`, each formatted by one thread into its own
    // buffer and written when the pieces before it are: the file is the same
    // whatever thread formats what. A piece of rows reads its cells below the
    // diagonal from the counts' columns, one short stretch of each row of
    // counts, gathered first: a column at a time, each count would be a miss
    // in a large matrix.
    constexpr std::int32_t rows = 16;
    const std::int64_t pieces = (std::int64_t(n) + rows - 1) / rows;
    std::mutex lock;
    std::condition_variable turn_changed;
    std::int64_t turn = 0;  // the piece whose turn it is to be written
    bool broken = false;    // a write failed: the others stop waiting
    each_job(thread_count(pieces), pieces, [&](std::int32_t, std::int64_t piece) {
        const std::int32_t r0 = std::int32_t(piece * rows), r1 = std::min(r0 + rows, n);
        thread_local std::vector<std::int32_t> across;  // across[(r - r0) * n + c] = cr(c, r)
        across.resize(std::size_t(rows) * std::size_t(n));
        for (std::int32_t c = 0; c < n; ++c)
            for (std::int32_t r = r0; r < r1; ++r) across[std::size_t(r - r0) * std::size_t(n) + std::size_t(c)] = st.cr(c, r);
        thread_local std::string text;
        text.clear();
        for (std::int32_t r = r0; r < r1; ++r) {
            text += '\r';
            text.append(st.data_name[std::size_t(r)].data(), st.data_name[std::size_t(r)].size());
            const std::int32_t* down = &across[std::size_t(r - r0) * std::size_t(n)];
            for (std::int32_t c = 0; c < n; ++c) {
                const std::int32_t i = std::min(r, c), j = std::max(r, c);  // the pair, the lower record first
                const pair_counts p{st.ex_com[std::size_t(i)], st.ex_com[std::size_t(j)],
                                    c > r ? st.cr(r, c) : down[c], c > r ? down[c] : st.cr(r, c)};
                append_value(text, c == r ? 0.0 : m.value(p));
            }
        }
        std::unique_lock<std::mutex> hold(lock);
        turn_changed.wait(hold, [&] { return turn == piece || broken; });
        if (broken) return;
        try {
            put(st, text);
        } catch (...) {
            broken = true;
            turn_changed.notify_all();
            throw;
        }
        ++turn;
        turn_changed.notify_all();
    });
}

}  // namespace varnel
