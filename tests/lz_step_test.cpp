// The direct parse: counts and final states on known texts, resumed at every split.
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "lz_direct.h"

namespace varnel {
namespace {

parse_state parse(const std::string& text, std::size_t split, parse_state s = {}) {
    auto* p = reinterpret_cast<const unsigned char*>(text.data());
    lz_steps(p, std::int32_t(split), std::int32_t(text.size()), s);
    return s;
}

// Fresh parse of the whole, and a parse saved at `split` then resumed.
std::int32_t resumed(const std::string& text, std::size_t split) {
    return parse(text, split, parse(text.substr(0, split), 0)).count;
}

struct parse_case {
    std::string text;
    std::int32_t count;
    parse_state end;  // j < 0: not checked
};

const parse_case parse_cases[] = {
    {"", 0, {0, 0, 0}},
    {"A", 1, {1, 1, 1}},
    {"AA", 1, {1, 1, 1}},
    {"AAAA", 1, {1, 1, 1}},  // trailing copy AAA found by overlapping occurrences
    {"AB", 2, {2, 2, 2}},
    {"ABA", 2, {-1, 0, 0}},
    {"ABAB", 2, {-1, 0, 0}},
    {"ABC", 3, {-1, 0, 0}},
    {"ABCABC", 3, {-1, 0, 0}},
    {"ABCABCD", 4, {7, 7, 4}},
    {"AAB", 2, {3, 3, 2}},
    {"AABB", 2, {-1, 0, 0}},
    {"ABBA", 3, {3, 4, 3}},
    {"ACGTTGCA", 6, {7, 8, 6}},
    {"0001101001000101", 5, {13, 13, 5}},
    {"aA", 2, {-1, 0, 0}},
    {"GATTACAACATTAG", 8, {-1, 0, 0}},
    {"ACATTAGGATTACA", 7, {-1, 0, 0}},
    {"ABAABA", 3, {-1, 0, 0}},
};

TEST(lz_step, known_texts_fresh_and_resumed_at_every_split) {
    for (const parse_case& c : parse_cases) {
        SCOPED_TRACE(c.text);
        parse_state s = parse(c.text, 0);
        EXPECT_EQ(s.count, c.count);
        if (c.end.j >= 0) {
            EXPECT_EQ(s.j, c.end.j);
            EXPECT_EQ(s.boundary, c.end.boundary);
        }
        for (std::size_t split = 0; split <= c.text.size(); ++split) EXPECT_EQ(resumed(c.text, split), c.count) << split;
    }
}

TEST(lz_step, random_texts_resume_alike_and_never_lose_count_when_extended) {
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        const int sigma = 1 + round % 3, n = int(rng() % 41);
        std::string text;
        for (int i = 0; i < n; ++i) text += char('A' + rng() % sigma);
        const std::int32_t whole = parse(text, 0).count;
        std::int32_t prefix_count = 0;
        for (std::size_t split = 0; split <= text.size(); ++split) {
            ASSERT_EQ(resumed(text, split), whole) << text << " split " << split;
            const std::int32_t c = parse(text.substr(0, split), 0).count;
            ASSERT_LE(prefix_count, c) << text;  // appending never lowers the count
            prefix_count = c;
        }
    }
}

}  // namespace
}  // namespace varnel
