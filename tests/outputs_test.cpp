// The report and the matrices of whole runs: small exact cases, and regression
// copies of two real inputs for both builds.
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "complexity/report.h"
#include "distance/measures.h"
#include "run_helpers.h"

namespace varnel::testing {
namespace {

namespace fs = std::filesystem;


std::string report(const std::string& program, const std::string& input) {
    scratch dir;
    dir.write("input_file", input);
    EXPECT_EQ(run_program(program, dir).status, 0);
    return dir.read(report_file);
}

TEST(report, exact_bytes) {
    struct {
        const char* input;
        const char* folded;  // report of the folding build
        const char* plain;   // of the plain build
    } cases[] = {
        {">one\nAB\n>two\nBA\n>three\nABAB\n",
         "3\none       \t2\t3\t2\t\ntwo       \t2\t3\t3\t\nthree     \t2\t2\t3\t\n",
         "3\none       \t2\t3\t2\t\ntwo       \t2\t3\t3\t\nthree     \t2\t2\t3\t\n"},
        {">only\nACGTTGCA\n", "1\nonly      \t6\t\n", "1\nonly      \t6\t\n"},
        // an empty sequence adds nothing, and after it the other parses alone
        {">e\n>x\nACGT\n>y\nAAB\n", "3\ne         \t0\t4\t2\t\nx         \t4\t4\t6\t\ny         \t2\t2\t5\t\n",
         "3\ne         \t0\t4\t2\t\nx         \t4\t4\t6\t\ny         \t2\t2\t5\t\n"},
        {">m\naA\n>n\nAA\n", "2\nm         \t1\t1\t\nn         \t1\t1\t\n", "2\nm         \t2\t2\t\nn         \t1\t2\t\n"},
        {">g\nGATTACA\n>a\nACATTAG\n", "2\ng         \t5\t8\t\na         \t5\t7\t\n", "2\ng         \t5\t8\t\na         \t5\t7\t\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(report(VARNEL_BIN, c.input), c.folded) << c.input;
        EXPECT_EQ(report(VARNEL_SOL_BIN, c.input), c.plain) << c.input;
    }
}

struct lz_table {
    std::vector<std::string> names;
    std::vector<std::vector<long>> rows;  // own count, then the other records in order
};

lz_table parse_report(const std::string& text) {
    lz_table t;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        t.names.push_back(line.substr(0, 10));
        std::istringstream fields(line.substr(11));
        std::vector<long> row;
        for (long v; fields >> v;) row.push_back(v);
        t.rows.push_back(row);
    }
    return t;
}

// What must hold of any report and matrix file, whatever the counts.
void check_invariants(const fs::path& dir) {
    const lz_table t = parse_report(testing::read_file(dir / report_file));
    const std::size_t n = t.names.size();
    for (std::size_t l = 0; l < n; ++l) {
        ASSERT_EQ(t.rows[l].size(), n);
        for (std::size_t f = 1; f < n; ++f) EXPECT_LE(t.rows[l][0], t.rows[l][f]) << "record " << l;
    }
    for (const measure& m : measures) {
        const std::string bytes = testing::read_file(dir / m.file);
        EXPECT_EQ(bytes.find('\n'), std::string::npos);
        std::vector<std::string> rows;
        std::istringstream in(bytes);
        std::string row;
        std::getline(in, row, '\r');
        EXPECT_EQ(row, std::to_string(n));
        std::vector<std::vector<std::string>> cells;
        while (std::getline(in, row, '\r')) {
            EXPECT_EQ(row.substr(0, 10), t.names[cells.size()]);
            EXPECT_EQ(row.back(), ' ');
            std::istringstream values(row.substr(10));
            cells.emplace_back();
            for (std::string v; values >> v;) cells.back().push_back(v);
        }
        ASSERT_EQ(cells.size(), n);
        for (std::size_t r = 0; r < n; ++r) {
            ASSERT_EQ(cells[r].size(), n);
            EXPECT_EQ(cells[r][r], "0.000000");
            for (std::size_t c = 0; c < r; ++c) EXPECT_EQ(cells[r][c], cells[c][r]);
        }
    }
}

TEST(regression, example_and_mixed_inputs_byte_for_byte_in_both_builds) {
    const std::pair<std::string, std::string> inputs[] = {
        {"example", std::string(VARNEL_EXAMPLES) + "/input_file"},
        {"mixed", std::string(VARNEL_FIXTURES) + "/mixed/input_file"},
    };
    for (const auto& [set, input] : inputs) {
        for (const std::string& program : {std::string(VARNEL_BIN), std::string(VARNEL_SOL_BIN)}) {
            const std::string build = fs::path(program).filename().string();
            SCOPED_TRACE(set + " " + build);
            scratch dir;
            fs::copy_file(input, dir / "input_file");
            outcome o = run_program(program, dir);
            ASSERT_EQ(o.status, 0) << o.err;
            const fs::path expected = fs::path(VARNEL_FIXTURES) / set / build;
            for (const std::string& name : output_names)
                EXPECT_TRUE(dir.read(name) == read_file(expected / name)) << name << " differs from " << expected;
            check_invariants(dir.dir);
        }
    }
}

}  // namespace
}  // namespace varnel::testing
