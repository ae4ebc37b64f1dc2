// The measures on known counts, and the exact bytes of the matrix file.
#include <array>
#include <cmath>
#include <iterator>
#include <cstdio>
#include <random>
#include <vector>
#include <string>

#include <gtest/gtest.h>

#include "distance/matrix_file.h"
#include "distance/measures.h"

namespace varnel {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct measure_case {
    const char* what;
    pair_counts counts;
    std::array<double, std::size(measures)> d;  // each measure's value, in the table's order
};

const measure_case measure_cases[] = {
    {"A 3, B 2", {3, 4, 6, 6}, {3, 0.75, 5, 5.0 / 6, 5.0 / 6}},
    {"odd sum halves in floating point", {3, 4, 6, 5}, {3, 0.75, 4, 4.0 / 6, 4 / 5.5}},
    {"reversed input order changes d4 only", {4, 3, 5, 6}, {3, 0.75, 4, 0.8, 4 / 5.5}},
    {"nothing added either way", {3, 4, 3, 4}, {0, 0, 0, 0, 0}},
    {"empty beside a sequence", {0, 2, 2, 2}, {2, 1, 2, 1, 1}},
    {"two empty sequences", {0, 0, 0, 0}, {0, nan, 0, nan, nan}},
};

TEST(measures, values_on_known_counts) {
    for (const measure_case& c : measure_cases) {
        for (std::size_t m = 0; m < std::size(measures); ++m) {
            SCOPED_TRACE(std::string(c.what) + ", " + measures[m].name);
            const double got = measures[m].value(c.counts);
            if (std::isnan(c.d[m])) {
                ASSERT_TRUE(std::isnan(got));
                EXPECT_FALSE(std::signbit(got));  // one canonical NaN, printed "nan"
            } else {
                EXPECT_EQ(got, c.d[m]);  // bit-exact: one division of exact operands
            }
        }
    }
}

analysis records(std::vector<std::string> names, std::vector<std::int32_t> ex, std::vector<std::int32_t> cr) {
    analysis st;
    st.num = std::int32_t(names.size());
    for (const std::string& n : names) {
        name_field f;
        f.fill(' ');
        n.copy(f.data(), f.size());
        st.data_name.push_back(f);
    }
    st.ex_com = ex;
    st.cr_ex_com.assign(cr.begin(), cr.end());
    return st;
}

std::string written(analysis& st, const measure& m) {
    st.fo = std::tmpfile();
    st.fo_name = "test";
    wo(st, m);
    std::string bytes(std::size_t(std::ftell(st.fo)), '\0');
    std::rewind(st.fo);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), st.fo), bytes.size());
    std::fclose(st.fo);
    return bytes;
}

TEST(matrix_file, exact_bytes) {
    const measure& d1 = measures[0];
    analysis none = records({}, {}, {});
    EXPECT_EQ(written(none, d1), "0");

    analysis one = records({"alpha"}, {5}, {0});
    EXPECT_EQ(written(one, d1), "1\ralpha     0.000000 ");

    analysis two = records({"alpha", "beta"}, {3, 4}, {0, 6, 5, 0});
    const char* const texts[] = {"3.000000", "0.750000", "4.000000", "0.666667", "0.727273"};
    static_assert(std::size(texts) == std::size(measures));
    for (std::size_t m = 0; m < std::size(measures); ++m) {
        const std::string v = texts[m];
        const std::string bytes = written(two, measures[m]);
        EXPECT_EQ(bytes, "2\ralpha     0.000000 " + v + " \rbeta      " + v + " 0.000000 ") << measures[m].name;
        EXPECT_EQ(bytes.size(), 59u);
    }

    analysis three = records({"alpha", "beta", "0123456789"}, {3, 4, 5}, {0, 6, 7, 5, 0, 6, 6, 7, 0});
    EXPECT_EQ(written(three, d1),
              "3\ralpha     0.000000 3.000000 4.000000 "
              "\rbeta      3.000000 0.000000 2.000000 "
              "\r01234567894.000000 2.000000 0.000000 ");

    analysis empty = records({"e1", "e2"}, {0, 0}, {0, 0, 0, 0});
    EXPECT_EQ(written(empty, measures[1]), "2\re1        0.000000 nan \re2        nan 0.000000 ");
}

// Rows formatted in pieces on several threads, the cells below the diagonal
// gathered from the counts' columns: the file is the one a plain loop over
// the cells writes, in every measure.
TEST(matrix_file, many_rows_as_a_plain_loop_writes_them) {
    std::mt19937 rng(9);
    const std::int32_t n = 203;  // pieces of rows, the last one short
    std::vector<std::string> names;
    std::vector<std::int32_t> ex(std::size_t{203}), cr(std::size_t{203} * std::size_t{203});
    for (std::int32_t i = 0; i < n; ++i) {
        names.push_back(std::to_string(i));
        ex[std::size_t(i)] = std::int32_t(rng() % 50);
    }
    for (std::int32_t i = 0; i < n; ++i)
        for (std::int32_t j = 0; j < n; ++j) cr[std::size_t(i * n + j)] = ex[std::size_t(i)] + std::int32_t(rng() % 40);
    analysis st = records(names, ex, cr);
    for (const measure& m : measures) {
        std::string expected = std::to_string(n);
        for (std::int32_t r = 0; r < n; ++r) {
            expected += '\r';
            expected.append(st.data_name[std::size_t(r)].data(), 10);
            for (std::int32_t c = 0; c < n; ++c) append_value(expected, r == c ? 0.0 : m.value(counts_of(st, r, c)));
        }
        EXPECT_TRUE(written(st, m) == expected) << m.name;
    }
}

TEST(matrix_file, value_text_is_printf_f) {
    std::vector<double> values = {0, 3, 0.75, 2.0 / 3, 12.5, 1.0 / 128, 3.0 / 128, 5.0 / 6, 1e6 / 7, 123456789.0,
                                  0.0000005, 0.0000015, 1e-300, 4e-320, 9007199254740991.0, 9007199254740992.0,
                                  1e300, -0.0, -2.5, std::numeric_limits<double>::infinity(), 0.9999995, 1 - 1e-9,
                                  7.9999996, 4503599627370495.5, 9.2e18, 9.3e18};
    for (int k = 1; k <= 40; ++k) values.push_back(std::ldexp(1.0, -k));  // exact ties at six decimals among them
    std::mt19937_64 rng(3);
    for (int k = 0; k < 200000; ++k) {  // the ratios the measures give
        const auto den = std::int32_t(1 + rng() % (k % 2 ? 100 : 200000)), num = std::int32_t(rng() % (2u * std::uint32_t(den) + 1));
        values.push_back(double(num) / double(den));
        values.push_back(double(num) / (double(den) * 0.5));
    }
    for (double v : values) {
        char expect[400];
        std::snprintf(expect, sizeof expect, "%f ", v);
        std::string got;
        append_value(got, v);
        ASSERT_EQ(got, expect) << v;
    }
}

}  // namespace
}  // namespace varnel
