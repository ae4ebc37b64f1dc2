// The distances between two records, from their Lempel-Ziv counts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "base/state.h"

namespace varnel {

// Counts of one pair i < j: each sequence alone, and each followed by the other.
struct pair_counts {
    std::int32_t ci, cj, cij, cji;
};

// The counts of records i and j, the lower first whichever order they come in,
// so the cells (i, j) and (j, i) get the same value, bit for bit.
inline pair_counts counts_of(const analysis& st, std::int32_t i, std::int32_t j) {
    if (j < i) std::swap(i, j);
    return {st.ex_com[std::size_t(i)], st.ex_com[std::size_t(j)], st.cr(i, j), st.cr(j, i)};
}

namespace formula {
// Components added for the second sequence after the first, and the reverse.
inline std::int32_t added_a(pair_counts p) { return p.cij - p.ci; }
inline std::int32_t added_b(pair_counts p) { return p.cji - p.cj; }
// Zero over zero gives a NaN whose sign depends on the processor; one
// canonical positive quiet NaN, so every build prints the same text for it.
inline double quotient(double num, double den) {
    const double q = num / den;
    return q == q ? q : std::numeric_limits<double>::quiet_NaN();
}
}  // namespace formula

// Each forms its integer differences and sums of counts, then at most one
// double division. Inline, as the matrix files compute them cell by cell.
inline double d1(pair_counts p) { return double(std::max(formula::added_a(p), formula::added_b(p))); }
inline double d2(pair_counts p) {
    return formula::quotient(double(std::max(formula::added_a(p), formula::added_b(p))), double(std::max(p.ci, p.cj)));
}
inline double d3(pair_counts p) { return double(formula::added_a(p) + formula::added_b(p)); }
inline double d4(pair_counts p) { return formula::quotient(double(formula::added_a(p) + formula::added_b(p)), double(p.cij)); }
inline double d5(pair_counts p) {
    return formula::quotient(double(formula::added_a(p) + formula::added_b(p)), double(p.cij + p.cji) * 0.5);
}

// The measures, in the order the run writes their files. A new measure is a
// line here and its formula above.
struct measure {
    const char* name;
    const char* file;
    double (*value)(pair_counts);
};
inline constexpr measure measures[] = {
    {"d1", "d1.dst", d1}, {"d2", "d2.dst", d2}, {"d3", "d3.dst", d3}, {"d4", "d4.dst", d4}, {"d5", "d5.dst", d5},
};

}  // namespace varnel
