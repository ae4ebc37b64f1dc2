// Faults met while running, end to end on the built program: a full disk under
// an output, an output name that leads nowhere, more records than this machine's
// memory holds, too small an address space, no thread to be had, standard
// streams closed. A failure must end with one line naming the file or step and
// the reason, exit status 1, and no output left that looks complete.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "run_helpers.h"


namespace varnel::testing {
namespace {

namespace fs = std::filesystem;

// `count` records of 50 random DNA letters: 3 make outputs smaller than one
// write buffer (a write fails only as the file closes), 100 make larger ones.
std::string random_records(int count) { return testing::random_records(count, 50, std::uint32_t(count)); }

// The failure must be the last line of standard error, alone.
void expect_failure_line(const outcome& o, const std::string& line) {
    EXPECT_EQ(o.status, 1);
    const std::string tail = "\n" + line + "\n\n";
    EXPECT_TRUE(o.err.size() >= tail.size() && o.err.compare(o.err.size() - tail.size(), tail.size(), tail) == 0)
        << "expected the last line \"" << line << "\", standard error was:\n" << o.err;
    EXPECT_EQ(o.out, "");
}

std::vector<std::string> outputs_present(const scratch& dir) {
    std::vector<std::string> present;
    for (const std::string& name : output_names)
        if (fs::exists(dir / name)) present.push_back(name);  // follows links: a dangling one is no output
    return present;
}

// ---- An output that cannot be created or written --------------------------

constexpr int last = -1;

struct output_fault {
    const char* what;
    int records;
    int output;          // the output in the way, by its place in the list (`last`: the last) ...
    const char* setup;   // ... made so by these shell commands, % standing for its name
    const char* failed;  // "Cannot <failed> <name>: <reason>"
    const char* reason;
    int completed;      // the outputs the run puts in place before it fails
    bool unprivileged;  // run as a user who is not root
    enum { before_any_row, mid_pass, after_every_row } when;  // the failure, as the progress text shows it
};

const output_fault output_faults[] = {
    {"report to a full disk, failing as it closes", 3, 0, "ln -sf /dev/full %", "write", "No space left on device", 0, false,
     output_fault::after_every_row},
    // the write fails on a worker thread's row while the other thread is still computing
    {"report to a full disk, failing mid-pass", 100, 0, "ln -sf /dev/full %", "write", "No space left on device", 0, false,
     output_fault::mid_pass},
    {"distance file to a full disk, failing mid-write", 100, 2, "ln -sf /dev/full %", "write", "No space left on device",
     2, false, output_fault::after_every_row},
    // found before any work, as every name is checked first
    {"report into a missing directory", 3, 0, "ln -sf missing/dir/% %", "create", "No such file or directory", 0, false,
     output_fault::before_any_row},
    {"last output into a missing directory", 3, last, "ln -sf missing/% %", "create", "No such file or directory", 0,
     false, output_fault::before_any_row},
    {"write-protected distance file", 3, 3, "chmod 666 * && chmod 444 %", "create", "Permission denied", 0, true,
     output_fault::before_any_row},
};

void PrintTo(const output_fault& c, std::ostream* os) { *os << c.what; }

class output_faults_test : public ::testing::TestWithParam<output_fault> {};

// Over an earlier run's outputs: the output in the way stays as it was (a
// device stays linked, a protected file keeps its bytes), and the others are
// the earlier run's, untouched, or the first this run completed with none after.
TEST_P(output_faults_test, ends_with_the_reason_and_leaves_one_runs_outputs) {
    const output_fault& c = GetParam();
    const std::string& name = c.output == last ? output_names.back() : output_names[std::size_t(c.output)];
    const std::string input = random_records(c.records);
    const auto earlier = complete_outputs(VARNEL_BIN, random_records(5));
    const auto fresh = complete_outputs(VARNEL_BIN, input);

    scratch dir;
    dir.write("input_file", input);
    for (const auto& [file, bytes] : earlier) dir.write(file, bytes);
    std::string setup = c.setup;
    for (std::size_t at; (at = setup.find('%')) != std::string::npos;) setup.replace(at, 1, name);
    const outcome o = run_after(VARNEL_BIN, dir, setup + "\n" + (c.unprivileged ? as_unprivileged(dir) : ""));
    expect_failure_line(o, std::string("Cannot ") + c.failed + " " + name + ": " + c.reason);
    const bool first_row = o.err.find("REGARDING r0 ") != std::string::npos;
    const bool last_row = o.err.find("REGARDING r" + std::to_string(c.records - 1) + " ") != std::string::npos;
    EXPECT_EQ(first_row, c.when != output_fault::before_any_row) << o.err;
    EXPECT_EQ(last_row, c.when == output_fault::after_every_row) << o.err;

    const fs::path in_the_way = dir / name;
    const bool linked = fs::is_symlink(fs::symlink_status(in_the_way));
    if (linked) {
        fs::remove(in_the_way);  // the link is the user's and stays
    } else {
        EXPECT_EQ(dir.read(name), earlier.at(name));
    }
    auto before = earlier;  // what an untouched directory holds now
    if (linked) before.erase(name);
    if (c.completed == 0) {
        EXPECT_EQ(outputs_state(dir, before, fresh), 0);
    }
    for (std::size_t k = 0; k < output_names.size(); ++k) {
        if (output_names[k] == name || c.completed == 0) continue;
        if (int(k) < c.completed) {
            EXPECT_EQ(dir.read(output_names[k]), fresh.at(output_names[k])) << output_names[k];
        } else {
            EXPECT_FALSE(fs::exists(dir / output_names[k])) << output_names[k];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(table, output_faults_test, ::testing::ValuesIn(output_faults),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// ---- More records than the machine's memory holds -------------------------

// Refused before any allocation, naming the size: touching that much memory
// would get the process killed half-way, or stall the machine first.
TEST(memory, matrices_beyond_physical_memory_are_refused_at_once) {
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0) GTEST_SKIP() << "the system does not tell its memory";
    const double memory = double(pages) * double(page);
    // twice the memory, at 4 bytes for each of the n x n counts
    const auto n = std::uint64_t(std::ceil(std::sqrt(2 * memory / 4)));
    std::string input;
    for (std::uint64_t r = 0; r < n; ++r) input += ">\n";
    scratch dir;
    dir.write("input_file", input);

    const auto start = std::chrono::steady_clock::now();
    const outcome o = run_program(VARNEL_BIN, dir);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::uint64_t bytes = n * n * 4 + n * 4;
    expect_failure_line(o, "Cannot allocate memory: " + std::to_string(n) + " records need " + std::to_string(bytes) +
                               " bytes for their counts, more than this machine's " +
                               std::to_string(std::uint64_t(pages) * std::uint64_t(page)));
    EXPECT_LT(seconds, 5.0);
    EXPECT_TRUE(outputs_present(dir).empty());
}

// ---- Too small an address space -------------------------------------------

struct memory_fault {
    const char* what;
    std::string (*input)();
    const char* limits;
    const char* line;     // the failure line in full, or
    const char* names;    // what a "Cannot allocate memory" line must name: where the run was
};

std::string many_records() {
    std::string text;
    for (int r = 0; r < 20000; ++r) text += ">\n";
    return text;
}

std::string long_record() {  // 60 MB: needs as much to load, far more to index
    std::string text = ">long\n";
    for (int i = 0; i < 15'000'000; ++i) text += "ACGT";
    return text + "\n";
}

const memory_fault memory_faults[] = {
    {"counts beyond the address space", many_records, "ulimit -v 1000000",
     "Cannot allocate memory: 20000 records need 1600080000 bytes for their counts", nullptr},
    {"sequence beyond the address space while reading", long_record, "ulimit -v 40000", nullptr, "input_file"},
    {"index beyond the address space", long_record, "ulimit -v 1000000", nullptr, "LZ_comp"},
};

void PrintTo(const memory_fault& c, std::ostream* os) { *os << c.what; }

class memory_faults_test : public ::testing::TestWithParam<memory_fault> {};

TEST_P(memory_faults_test, refused_with_the_step_named) {
    const memory_fault& c = GetParam();
#ifdef VARNEL_ASAN
    GTEST_SKIP() << "AddressSanitizer needs more address space than any limit here leaves";
#endif
    scratch dir;
    dir.write("input_file", c.input());
    const outcome o = run_after(VARNEL_BIN, dir, c.limits);
    if (c.line != nullptr) {
        expect_failure_line(o, c.line);
    } else {
        EXPECT_EQ(o.status, 1);
        const std::size_t end = o.err.find_last_not_of('\n'), start = o.err.rfind('\n', end);
        const std::string last = o.err.substr(start + 1, end - start);
        EXPECT_EQ(last.rfind("Cannot allocate memory", 0), 0u) << o.err;
        EXPECT_NE(last.find(c.names), std::string::npos) << "the line does not name " << c.names << ":\n" << o.err;
        EXPECT_TRUE(o.err.ends_with("\n" + last + "\n\n")) << o.err;
    }
    EXPECT_TRUE(outputs_present(dir).empty());
}

INSTANTIATE_TEST_SUITE_P(table, memory_faults_test, ::testing::ValuesIn(memory_faults),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// Runs on a few random records after `setup`, and checks the run completes
// with the outputs of an undisturbed run, whose standard error goes to `err`.
outcome complete_beside_undisturbed(const std::string& setup, std::string* err = nullptr) {
    const std::string input = random_records(3);
    scratch whole;
    whole.write("input_file", input);
    const outcome undisturbed = run_program(VARNEL_BIN, whole);
    EXPECT_EQ(undisturbed.status, 0);
    if (err != nullptr) *err = undisturbed.err;

    scratch dir;
    dir.write("input_file", input);
    const outcome o = run_after(VARNEL_BIN, dir, setup);
    EXPECT_EQ(o.status, 0) << o.err;
    for (const std::string& name : output_names) EXPECT_EQ(dir.read(name), whole.read(name)) << name;
    return o;
}

// ---- No thread to be had --------------------------------------------------

// A thread's stack is as large as the stack limit: past the address space, no
// worker can start. The run goes on with the threads it has and completes.
TEST(threads, none_to_be_had_the_run_completes_on_one) {
#ifdef VARNEL_ASAN
    GTEST_SKIP() << "AddressSanitizer needs more address space than the limit here leaves";
#endif
    if (sysconf(_SC_NPROCESSORS_ONLN) < 2) GTEST_SKIP() << "one processor: the run starts no thread";
    std::string undisturbed_err;
    const outcome o = complete_beside_undisturbed("ulimit -s 8000000\nulimit -v 4000000", &undisturbed_err);
    EXPECT_EQ(o.err, undisturbed_err);
}

// ---- Standard streams closed by the caller --------------------------------

// A closed stream's descriptor is free: the files the run opens must not take
// it, or the console text written on it lands in an output.
struct closed_streams {
    const char* what;
    const char* setup;
};

const closed_streams closed_stream_cases[] = {
    {"standard input closed", "exec 0<&-"},
    {"standard output closed", "exec 1>&-"},
    {"standard error closed", "exec 2>&-"},
    {"all three closed", "exec 0<&- 1>&- 2>&-"},
};

void PrintTo(const closed_streams& c, std::ostream* os) { *os << c.what; }

class closed_streams_test : public ::testing::TestWithParam<closed_streams> {};

TEST_P(closed_streams_test, outputs_are_those_of_a_run_with_them_open) {
    complete_beside_undisturbed(GetParam().setup);
}

INSTANTIATE_TEST_SUITE_P(table, closed_streams_test, ::testing::ValuesIn(closed_stream_cases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

}  // namespace
}  // namespace varnel::testing
