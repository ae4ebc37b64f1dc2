// Runs that end early, end to end on the built program over an earlier run's
// outputs: signals at several points, a kill that cannot be caught, standard
// error a pipe nobody reads, a file-size limit, a second run in the same
// directory. Whatever happens, the outputs present are the earlier run's,
// untouched, or the first of this run's, complete, with none after them; and
// no temporary file is left where the run could remove it.
#include <csignal>
#include <functional>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "run_helpers.h"

namespace varnel::testing {
namespace {

namespace fs = std::filesystem;

using outputs = std::map<std::string, std::string>;

// A pass of a few tenths of a second, and matrices of 9 MB a file.
const std::string long_pass = random_records(300, 3000, 7);
const std::string large_matrices = random_records(1000, 30, 8);

const outputs& complete_run(const std::string& input) {
    static std::map<const std::string*, outputs> done;
    auto it = done.find(&input);
    if (it == done.end()) it = done.emplace(&input, complete_outputs(VARNEL_BIN, input)).first;
    return it->second;
}

const outputs& earlier_run() {
    static const std::string input = random_records(5, 50, 9);
    return complete_run(input);
}

// A directory holding the earlier run's outputs and `input`.
void over_earlier_run(const scratch& dir, const std::string& input) {
    for (const auto& [name, bytes] : earlier_run()) dir.write(name, bytes);
    dir.write("input_file", input);
}

void expect_last_line(const outcome& o, const std::string& line) {
    EXPECT_TRUE(o.err.ends_with("\n" + line + "\n\n")) << "expected the last line \"" << line << "\":\n"
                                                         << o.err.substr(o.err.size() > 300 ? o.err.size() - 300 : 0);
}

// ---- Signals --------------------------------------------------------------

struct stop_point {
    const char* what;
    const std::string* input;
    bool (*reached)(running&);
    int least;  // the outputs of this run in place after the stop, at least; never all
};

// The earlier run's later outputs are removed, the last one last, as the report takes its place.
bool report_in_place(running& r) { return r.wait_for_file(output_names.back(), false); }

const stop_point during_pass = {"during the complexity pass", &long_pass,
                                [](running& r) { return r.wait_for_error("REGARDING r1 "); }, 0};
const stop_point during_first_matrix = {"while the first matrices are written", &large_matrices, report_in_place, 1};
const stop_point during_third_matrix = {"while the third output is written", &large_matrices,
                                        [](running& r) { return report_in_place(r) && r.wait_for_file(output_names[2]); },
                                        3};

struct signal_case {
    int sig;
    const char* name;
    const stop_point* at;
};

const signal_case signal_cases[] = {
    {SIGINT, "SIGINT", &during_pass},
    {SIGTERM, "SIGTERM", &during_pass},
    {SIGHUP, "SIGHUP", &during_pass},
    {SIGINT, "SIGINT", &during_first_matrix},
    {SIGTERM, "SIGTERM", &during_third_matrix},
    {SIGKILL, "SIGKILL", &during_pass},
    {SIGKILL, "SIGKILL", &during_first_matrix},
};

void PrintTo(const signal_case& c, std::ostream* os) { *os << c.name << " " << c.at->what; }

class signal_test : public ::testing::TestWithParam<signal_case> {};

// Standard input is held open: a run that paused after a signal would hang.
TEST_P(signal_test, ends_the_run_with_one_runs_outputs) {
    const signal_case& c = GetParam();
    const outputs& fresh = complete_run(*c.at->input);
    scratch dir;
    over_earlier_run(dir, *c.at->input);
    running r(VARNEL_BIN, dir, "", {.input_held = true});
    ASSERT_TRUE(c.at->reached(r)) << "the run ended before the point";
    r.signal(c.sig);
    const outcome o = r.wait();

    const bool caught = c.sig != SIGKILL;
    EXPECT_EQ(o.status, caught ? 1 : 128 + SIGKILL);
    if (caught) expect_last_line(o, std::string("Stopped by ") + c.name);
    const int done = outputs_state(dir, earlier_run(), fresh, !caught);
    EXPECT_GE(done, c.at->least);
    EXPECT_LE(done, c.at->least == 0 ? 0 : int(output_names.size()) - 1);
    if (caught) return;
    // A killed run's temporary files are left; the next run removes them.
    EXPECT_FALSE(temporaries(dir).empty());
    dir.write("input_file", *c.at->input);
    EXPECT_EQ(run_program(VARNEL_BIN, dir).status, 0);
    EXPECT_EQ(outputs_state(dir, {}, fresh), int(output_names.size()));
}

INSTANTIATE_TEST_SUITE_P(table, signal_test, ::testing::ValuesIn(signal_cases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// Once every output is in place (the run waits at its pause) the run is over:
// the signal ends the process as it would any program, and the outputs stay.
TEST(signal, once_every_output_is_in_place_leaves_them_complete) {
    const std::string input = random_records(3, 40, 10);
    scratch dir;
    over_earlier_run(dir, input);
    running r(VARNEL_BIN, dir, "", {.input_held = true});
    // the temporary files are made before the prompt, and gone once every output is in place
    ASSERT_TRUE(r.wait_for([&] { return r.error().ends_with("continue\n") && temporaries(dir).empty(); }));
    r.signal(SIGINT);
    const outcome o = r.wait();
    EXPECT_EQ(o.status, 128 + SIGINT);
    EXPECT_EQ(outputs_state(dir, earlier_run(), complete_run(input)), int(output_names.size()));
}

// ---- Writes that fail -----------------------------------------------------

// A console nobody reads is no reason to stop: the run completes.
TEST(lost_console, standard_error_a_closed_pipe_the_run_completes) {
    scratch dir;
    over_earlier_run(dir, long_pass);
    running r(VARNEL_BIN, dir, "", {.error_lost = true});
    const outcome o = r.wait();
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(outputs_state(dir, earlier_run(), complete_run(long_pass)), int(output_names.size()));
}

struct size_limit_case {
    const char* limit;  // ulimit -f, in blocks of 512 (or 1024) bytes
    int done;           // the outputs complete before the limit; the next is the one that fails
};

// The report is 3 MB and each matrix 9 MB: the limits fall in the report and in the first matrix.
const size_limit_case size_limits[] = {
    {"100", 0},
    {"8000", 1},
};

TEST(file_size_limit, is_a_write_failure_with_its_reason) {
    for (const size_limit_case& c : size_limits) {
        SCOPED_TRACE(c.limit);
        scratch dir;
        over_earlier_run(dir, large_matrices);
        const outcome o = run_after(VARNEL_BIN, dir, std::string("ulimit -f ") + c.limit);
        EXPECT_EQ(o.status, 1);
        expect_last_line(o, "Cannot write " + output_names[std::size_t(c.done)] + ": File too large");
        EXPECT_EQ(outputs_state(dir, earlier_run(), complete_run(large_matrices)), c.done);
    }
}

// ---- Two runs at once -----------------------------------------------------

TEST(two_runs, the_second_in_the_same_directory_fails_at_once) {
    scratch dir;
    over_earlier_run(dir, long_pass);
    running first(VARNEL_BIN, dir, "", {.input_held = true});
    ASSERT_TRUE(first.wait_for_error("REGARDING r1 "));
    const outcome second = run_program(VARNEL_BIN, dir);
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.err, "\nCannot write the outputs: another run is writing them in this directory\n\n");
    ASSERT_TRUE(first.wait_for_error("Press Enter to continue\n"));
    first.release_input();
    EXPECT_EQ(first.wait().status, 0);
    EXPECT_EQ(outputs_state(dir, earlier_run(), complete_run(long_pass)), int(output_names.size()));
}

}  // namespace
}  // namespace varnel::testing
