#include "distance/measures.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace varnel {
namespace {

// Components added for the second sequence after the first, and the reverse.
std::int32_t added_a(pair_counts p) { return p.cij - p.ci; }
std::int32_t added_b(pair_counts p) { return p.cji - p.cj; }

// Zero over zero gives a NaN whose sign depends on the processor; one
// canonical positive quiet NaN, so every build prints the same text for it.
double quotient(double num, double den) {
    double q = num / den;
    return std::isnan(q) ? std::numeric_limits<double>::quiet_NaN() : q;
}

}  // namespace

double d1(pair_counts p) { return double(std::max(added_a(p), added_b(p))); }

double d2(pair_counts p) { return quotient(double(std::max(added_a(p), added_b(p))), double(std::max(p.ci, p.cj))); }

double d3(pair_counts p) { return double(added_a(p) + added_b(p)); }

double d4(pair_counts p) { return quotient(double(added_a(p) + added_b(p)), double(p.cij)); }

double d5(pair_counts p) { return quotient(double(added_a(p) + added_b(p)), double(p.cij + p.cji) * 0.5); }

}  // namespace varnel
