// The distances between two records, from their Lempel-Ziv counts.
#pragma once

#include <cstdint>

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

// Each forms its integer differences and sums of counts, then at most one
// double division.
double d1(pair_counts p);
double d2(pair_counts p);
double d3(pair_counts p);
double d4(pair_counts p);
double d5(pair_counts p);

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
