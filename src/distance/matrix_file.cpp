#include "distance/matrix_file.h"

#include <algorithm>
#include <array>
#include <utility>
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

// The digits of 0 .. 99, two by two.
constexpr std::array<char, 200> digit_pairs = [] {
    std::array<char, 200> t{};
    for (int i = 0; i < 100; ++i) t[std::size_t(2 * i)] = char('0' + i / 10), t[std::size_t(2 * i + 1)] = char('0' + i % 10);
    return t;
}();

char* put_pair(char* p, std::uint32_t two) {
    std::memcpy(p, &digit_pairs[2 * two], 2);
    return p + 2;
}

// The text "%f " gives for `value`, written at p (13 bytes at most), for the
// values the measures give: non-negative and below 10^4; null for any other,
// and for one within 10^-10 of a tie at six decimals. t = value * 10^6
// rounded to a double is within 2^-19 of the exact product (t < 2^34), so
// away from a tie, rounding t gives the digits the exact value has.
[[gnu::always_inline]] inline char* put_common(char* p, double value) {
    if (!(value >= 0.0 && value < 1e4) || std::signbit(value)) return nullptr;  // a NaN fails the comparison
    const double t = value * 1e6;
    const std::int64_t whole = std::int64_t(t);  // t >= 0: truncation is floor
    const double part = t - double(whole);
    if (part > 0.5 - 1e-4 && part < 0.5 + 1e-4) return nullptr;
    const std::uint64_t m = std::uint64_t(whole) + (part > 0.5);
    std::uint32_t units = std::uint32_t(m / 1000000);  // at most 10^4, where 9999.9999995 rounds up
    const std::uint32_t micro = std::uint32_t(m - std::uint64_t(units) * 1000000);
    if (units < 10) *p++ = char('0' + units);
    else if (units < 100) p = put_pair(p, units);
    else if (units < 1000) *p++ = char('0' + units / 100), p = put_pair(p, units % 100);
    else if (units < 10000) p = put_pair(put_pair(p, units / 100), units % 100);
    else *p++ = '1', p = put_pair(put_pair(p, 0), 0);
    if (micro == 0) {  // the counts and the integer measures
        std::memcpy(p, ".000000 ", 8);
        return p + 8;
    }
    *p++ = '.';
    const std::uint32_t high = micro / 10000, low = micro - high * 10000;
    p = put_pair(put_pair(put_pair(p, high), low / 100), low % 100);
    *p++ = ' ';
    return p;
}

}  // namespace

void append_value(std::string& out, double value) {
    char common[16];
    if (char* end = put_common(common, value)) {
        out.append(common, std::size_t(end - common));
        return;
    }
    if (append_fixed6(out, value)) return;
    if (std::isnan(value)) {  // the C libraries disagree on a NaN's text; a NaN here means 0/0
        out += std::signbit(value) ? "-nan " : "nan ";
        return;
    }
    char text[400];  // "%f" of the largest double has 316 characters
    const int n = std::snprintf(text, sizeof text, "%f ", value);
    out.append(text, std::size_t(n));
}

namespace {

// Appends the rows r0 .. r1 - 1 of the matrix of `value` to text[0 .. at),
// growing it as needed; across[(r - r0) * n + c] holds cr(c, r).
template <class Value>
void format_rows(const analysis& st, Value value, std::int32_t r0, std::int32_t r1, const std::int32_t* across,
                 std::string& text, std::size_t& at) {
    const std::size_t n = std::size_t(st.num);
    const std::size_t most = 13;  // bytes of the longest common value
    auto room = [&](std::size_t bytes) {
        if (text.size() < at + bytes) text.resize(std::max(2 * text.size(), at + bytes));
        return text.data() + at;
    };
    for (std::int32_t r = r0; r < r1; ++r) {
        const std::int32_t* own = &st.cr_ex_com[std::size_t(r) * n];  // cr(r, c)
        const std::int32_t* down = across + std::size_t(r - r0) * n;   // cr(c, r)
        const std::int32_t* ex = st.ex_com.data();
        char* p = room(11 + most * n);
        *p++ = '\r';
        p = std::copy(st.data_name[std::size_t(r)].begin(), st.data_name[std::size_t(r)].end(), p);
        auto put_value = [&](double v, std::size_t left) {
            if (char* end = put_common(p, v)) {
                p = end;
                return;
            }
            std::string other;  // rare: a text of its own length, then room again for the rest
            append_value(other, v);
            at = std::size_t(p - text.data());
            p = std::copy(other.begin(), other.end(), room(other.size() + most * left));
        };
        // each pair with the lower record first, so a cell and its mirror are the same value
        for (std::int32_t c = 0; c < r; ++c) put_value(value({ex[c], ex[r], down[c], own[c]}), n - std::size_t(c));
        put_value(0.0, n - std::size_t(r));
        for (std::int32_t c = r + 1; c < std::int32_t(n); ++c) put_value(value({ex[r], ex[c], own[c], down[c]}), n - std::size_t(c));
        at = std::size_t(p - text.data());
    }
}

using row_formatter = void (*)(const analysis&, const measure&, std::int32_t, std::int32_t, const std::int32_t*,
                               std::string&, std::size_t&);

// A formatter per measure of the table, each with its formula inlined into
// the loop over the cells; any other measure through its function pointer.
template <std::size_t... M>
constexpr std::array<row_formatter, sizeof...(M)> table_formatters(std::index_sequence<M...>) {
    return {[](const analysis& st, const measure&, std::int32_t r0, std::int32_t r1, const std::int32_t* across,
               std::string& text, std::size_t& at) {
        format_rows(st, [](pair_counts p) { return measures[M].value(p); }, r0, r1, across, text, at);
    }...};
}
constexpr auto formatters = table_formatters(std::make_index_sequence<std::size(measures)>());

void format_any(const analysis& st, const measure& m, std::int32_t r0, std::int32_t r1, const std::int32_t* across,
                std::string& text, std::size_t& at) {
    format_rows(st, m.value, r0, r1, across, text, at);
}

}  // namespace

void wo(analysis& st, const measure& m) {
    const std::int32_t n = st.num;
    put(st, std::to_string(n));
    const std::size_t k = std::size_t(&m - measures);
    const row_formatter format = &m >= measures && k < std::size(measures) ? formatters[k] : format_any;
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
        thread_local std::vector<std::int32_t> across;
        across.resize(std::size_t(rows) * std::size_t(n));
        for (std::int32_t c = 0; c < n; ++c)
            for (std::int32_t r = r0; r < r1; ++r) across[std::size_t(r - r0) * std::size_t(n) + std::size_t(c)] = st.cr(c, r);
        thread_local std::string text;  // written up to `at`
        std::size_t at = 0;
        format(st, m, r0, r1, across.data(), text, at);
        std::unique_lock<std::mutex> hold(lock);
        turn_changed.wait(hold, [&] { return turn == piece || broken; });
        if (broken) return;
        try {
            put(st, std::string_view(text.data(), at));
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
