// The input reader on a table of inputs, for both the folding and the plain build.
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/reader.h"
#include "reader_model.h"
#include "base/failure.h"

namespace varnel {
namespace {

analysis load(const std::string& bytes, bool fold) {
    analysis st;
    st.fi = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), st.fi);
    std::rewind(st.fi);
    get_info(st);
    std::rewind(st.fi);
    getinput(st, fold);
    std::fclose(st.fi);
    return st;
}

struct reader_case {
    const char* what;
    std::string input;
    std::int64_t max_len;  // -1: not checked
    std::vector<std::string> names;
    std::vector<std::string> plain;   // sequences as stored by the plain build
    std::vector<std::string> folded;  // by the folding build; empty: same as plain
};

const reader_case reader_cases[] = {
    {"two records over lines", ">alpha\nACGT\nTTGA\n>beta\nacgg\n", 17, {"alpha", "beta"}, {"ACGTTTGA", "acgg"}, {"ACGTTTGA", "ACGG"}},
    {"long header keeps ten bytes", ">sample 1 from site 22\nAC\n", 0, {"sample 1 f"}, {"AC"}, {}},
    {"header of exactly ten bytes", ">0123456789\nAC\n>b\nG\n", 15, {"0123456789", "b"}, {"AC", "G"}, {}},
    {"carriage returns vanish", ">a b\r\nAC\r\nGT\r\n>c\r\n", 14, {"a b", "c"}, {"ACGT", ""}, {}},
    {"tab takes no place in a name", ">x\ty\nAC\n", 0, {"xy"}, {"AC"}, {}},
    {"header followed at once by the next", ">a\n>b\nGT\n", 3, {"a", "b"}, {"", "GT"}, {}},
    {"last header at the end of the file", ">a\nAC\n>b\n", -1, {"a", "b"}, {"AC", ""}, {}},
    {"empty header line", ">\nAC\n", 0, {""}, {"AC"}, {}},
    {"spaces digits punctuation kept", ">s\nAC GT 12*-\n", 0, {"s"}, {"AC GT 12*-"}, {}},
    {"letters folded in one build only", ">Mixed\nacgt-n\n", 0, {"Mixed"}, {"acgt-n"}, {"ACGT-N"}},
    {"'>' inside sequence text opens a record", ">a\nAC>GT\n>b\nTT\n", -1, {"a", "GT", "b"}, {"AC", "", "TT"}, {}},
    // Text before the first '>' is a record of its own, and every later record stays whole.
    {"comment line before the first '>'", "comment\n>a\nAC\n>b\nGT\n", 8, {"comment", "a", "b"}, {"", "AC", "GT"}, {}},
    {"blank line before the first '>'", "\n>a\nAC\n", 1, {"", "a"}, {"", "AC"}, {}},
    {"text before the first '>' with a sequence", "x\nTT\n>a\nAC\n", 5, {"x", "a"}, {"TT", "AC"}, {}},
    {"first line space '>' a", " >a\nAC\n>b\nGT\n", -1, {" >a", "b"}, {"AC", "GT"}, {}},
    {"high bytes dropped, end nothing", ">\xc3\xa9t\xe9\nA\xffG\n>b\x80\nT\x7f\x01\n", -1, {"t", "b"}, {"AG", "T"}, {}},
    {"no final line end", ">a\nAC\n>b\nACGT", -1, {"a", "b"}, {"AC", "ACGT"}, {}},
    // The end of the file inside a header line ends the name; the sequence is empty.
    {"end of file inside the only header", ">abc", 0, {"abc"}, {""}, {}},
    {"end of file inside the last header", ">a\nAC\n>bc", -1, {"a", "bc"}, {"AC", ""}, {}},
    {"end of file after ten name bytes", ">0123456789abc", 0, {"0123456789"}, {""}, {}},
    // A '>' counted inside a header line opens no record of its own.
    {"'>' inside a header line", ">a>b\nAC\n>c\nGT\n", -1, {"a>b", "c"}, {"AC", "GT"}, {}},
    {"'>' inside the first header, end inside it", ">a>b", -1, {"a>b"}, {""}, {}},
    // The last record's span is never measured: it may be far longer than the others.
    {"last record far longer than every span", ">a\nAC\n>b\n" + std::string(50000, 'g'), 6, {"a", "b"}, {"AC", std::string(50000, 'g')}, {"AC", std::string(50000, 'G')}},
    {"empty file", "", 0, {}, {}, {}},
    {"no '>' at all", "ACGT\nTTGA\n", 0, {}, {}, {}},
};

void PrintTo(const reader_case& c, std::ostream* os) { *os << c.what; }

class reader : public ::testing::TestWithParam<reader_case> {};

TEST_P(reader, loads_names_and_sequences_in_both_builds) {
    const reader_case& c = GetParam();
    for (bool fold : {false, true}) {
        SCOPED_TRACE(fold ? "folding build" : "plain build");
        
        analysis st = load(c.input, fold);
        ASSERT_EQ(st.num, std::int32_t(c.names.size()));
        if (c.max_len >= 0) {
            EXPECT_EQ(st.max_len, c.max_len);
        }
        const auto& seqs = fold && !c.folded.empty() ? c.folded : c.plain;
        for (std::size_t l = 0; l < c.names.size(); ++l) {
            std::string padded = c.names[l];
            padded.resize(10, ' ');
            EXPECT_EQ(std::string(st.data_name[l].data(), 10), padded) << "record " << l;
            EXPECT_EQ(st.S[l], seqs[l]) << "record " << l;
            EXPECT_EQ(st.length[l], std::int32_t(seqs[l].size()));
        }
        EXPECT_EQ(st.ex_com.size(), c.names.size());
        EXPECT_EQ(st.cr_ex_com.size(), c.names.size() * c.names.size());
    }
}

INSTANTIATE_TEST_SUITE_P(table, reader, ::testing::ValuesIn(reader_cases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// Random inputs of up to a few blocks, '>' and line ends often near block edges.
TEST(reader, agrees_with_the_byte_rules_across_blocks) {
    std::mt19937 rng(3);
    const std::string bytes = "ACGTacgt\n\n\r \t\x01\x7f\xc3~";
    for (int round = 0; round < 30; ++round) {
        std::string in(std::size_t(rng() % 200000), 'A');
        for (char& c : in) c = rng() % 2000 == 0 ? '>' : bytes[rng() % bytes.size()];  // a few hundred records
        for (std::size_t edge = 65536; edge < in.size(); edge += 65536)  // '>' just before, at and after an edge
            in[edge - 1 + rng() % 3] = '>';
        if (round % 3 == 0) in.insert(0, ">");
        for (bool fold : {false, true}) {
            const analysis st = load(in, fold);
            const model_input m = model(in, fold);
            ASSERT_EQ(st.max_len, m.max_len) << round;
            ASSERT_EQ(std::size_t(st.num), m.names.size()) << round;
            for (std::size_t l = 0; l < m.names.size(); ++l) {
                ASSERT_EQ(std::string(st.data_name[l].data(), 10), m.names[l]) << round << " record " << l;
                ASSERT_EQ(st.S[l], m.seqs[l]) << round << " record " << l;
            }
        }
    }
}

TEST(reader_listing, names_with_padding_under_the_heading) {
    analysis st = load(">alpha\nAC\n>0123456789xyz\nGT\n>\n", false);
    EXPECT_EQ(input_listing(st), "\n\t\tINPUT DATA:\n\nalpha     \n0123456789\n          \n");
    EXPECT_EQ(input_listing(load("", false)), "\n\t\tINPUT DATA:\n\n");
}

TEST(reader_limits, pair_longer_than_32_bit_positions_is_refused) {
    analysis st;
    st.length = {5, 1'500'000'000, 7, 700'000'000};
    EXPECT_THROW(check_lengths(st), run_error);
    st.length = {1'500'000'000, 647'483'647};  // exactly the largest count
    EXPECT_NO_THROW(check_lengths(st));
    st.length = {2'000'000'000};  // one record forms no pair
    EXPECT_NO_THROW(check_lengths(st));
}

}  // namespace
}  // namespace varnel
