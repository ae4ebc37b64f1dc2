// The five distances between two records, from their Lempel-Ziv counts.
#pragma once

#include <cstdint>

#include "run/state.h"

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

}  // namespace varnel
