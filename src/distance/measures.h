// The five distances between two records, from their Lempel-Ziv counts.
#pragma once

#include <cstdint>

#include "base/state.h"

namespace varnel {

// Counts of one pair i < j: each sequence alone, and each followed by the other.
struct pair_counts {
    std::int32_t ci, cj, cij, cji;
};

double d1_value(pair_counts p);
double d2_value(pair_counts p);
double d3_value(pair_counts p);
double d4_value(pair_counts p);
double d5_value(pair_counts p);

// Each fills the strict upper triangle of `dist_mtrx` with its distance.
void d1(analysis& st);
void d2(analysis& st);
void d3(analysis& st);
void d4(analysis& st);
void d5(analysis& st);

// The measures, in the order the run writes their files. A new measure is a
// line here, its formula and fill above, and the fixtures of its file.
struct measure {
    const char* name;
    const char* file;
    void (*fill)(analysis&);
    double (*value)(pair_counts);
};
inline constexpr measure measures[] = {
    {"d1", "d1.dst", d1, d1_value}, {"d2", "d2.dst", d2, d2_value}, {"d3", "d3.dst", d3, d3_value},
    {"d4", "d4.dst", d4, d4_value}, {"d5", "d5.dst", d5, d5_value},
};

}  // namespace varnel
