#include "distance/measures.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace varnel {
namespace {

// Components added for the second sequence after the first, and the reverse.
std::int32_t added_a(pair_counts p) { return p.cij - p.ci; }
std::int32_t added_b(pair_counts p) { return p.cji - p.cj; }

// Zero over zero gives a NaN whose sign depends on the processor; store one
// canonical positive quiet NaN so every build prints the same text for it.
double quotient(double num, double den) {
    double q = num / den;
    return std::isnan(q) ? std::numeric_limits<double>::quiet_NaN() : q;
}

template <double (*value)(pair_counts)>
void fill(analysis& st) {
    for (std::int32_t i = 0; i < st.num - 1; ++i)
        for (std::int32_t j = i + 1; j < st.num; ++j)
            st.dist(i, j) = value({st.ex_com[i], st.ex_com[j], st.cr(i, j), st.cr(j, i)});
}

}  // namespace

double d1_value(pair_counts p) { return double(std::max(added_a(p), added_b(p))); }

double d2_value(pair_counts p) {
    return quotient(double(std::max(added_a(p), added_b(p))), double(std::max(p.ci, p.cj)));
}

double d3_value(pair_counts p) { return double(added_a(p) + added_b(p)); }

double d4_value(pair_counts p) { return quotient(double(added_a(p) + added_b(p)), double(p.cij)); }

double d5_value(pair_counts p) {
    return quotient(double(added_a(p) + added_b(p)), double(p.cij + p.cji) * 0.5);
}

void d1(analysis& st) { fill<d1_value>(st); }
void d2(analysis& st) { fill<d2_value>(st); }
void d3(analysis& st) { fill<d3_value>(st); }
void d4(analysis& st) { fill<d4_value>(st); }
void d5(analysis& st) { fill<d5_value>(st); }

}  // namespace varnel
