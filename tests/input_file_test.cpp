// input_file end to end on the built programs: what cannot be read is refused
// at once with its reason, a file changed between the two passes is refused,
// and text before the first '>' is a record of its own.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "run_helpers.h"

namespace varnel::testing {
namespace {

namespace fs = std::filesystem;

struct refused_case {
    const char* what;
    const char* setup;
    bool unprivileged;
    const char* message;
};

const refused_case refused_cases[] = {
    // read once, a pipe or a device could not be read again: never waited on
    {"a pipe with no writer", "mkfifo input_file", false, "Cannot open input_file: not a regular file"},
    {"a link to standard input", "ln -s /dev/stdin input_file", false, "Cannot open input_file: not a regular file"},
    {"a directory", "mkdir input_file", false, "Cannot open input_file: Is a directory"},
    {"no permission to read", "echo '>a' > input_file && chmod 000 input_file", true,
     "Cannot open input_file: Permission denied"},
    {"a loop of links", "ln -s input_file input_file", false,
     "Cannot open input_file: Too many levels of symbolic links"},
    {"no descriptor free", "echo '>a' > input_file && run_as='prlimit --nofile=3'", false,
     "Cannot open input_file: Too many open files"},
};

void PrintTo(const refused_case& c, std::ostream* os) { *os << c.what; }

class refused_input : public ::testing::TestWithParam<refused_case> {};

TEST_P(refused_input, names_the_reason_and_writes_nothing) {
    const refused_case& c = GetParam();
#ifdef VARNEL_ASAN
    if (std::string(c.setup).find("nofile") != std::string::npos)
        GTEST_SKIP() << "a dynamically linked program needs descriptors before its first line runs";
#endif
    scratch dir;
    std::string setup = c.unprivileged ? as_unprivileged(dir) : "";
    setup.append("\n").append(c.setup);
    const outcome o = run_after(VARNEL_BIN, dir, setup);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, std::string("\n").append(c.message).append("\n\n"));
    for (const fs::directory_entry& e : fs::directory_iterator(dir.dir))
        EXPECT_EQ(e.path().filename(), "input_file") << "written: " << e.path().filename();
}

INSTANTIATE_TEST_SUITE_P(table, refused_input, ::testing::ValuesIn(refused_cases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// ---- Changed between the two passes ---------------------------------------

const std::string three = ">a\nACGT\n>b\nAAAA\n>c\nACAC\n";
const std::string five = three + ">d\nGGGG\n>e\nTTTT\n";

struct change_case {
    const char* what;
    const char* change;  // shell commands, in the run's directory
};

const change_case change_cases[] = {
    {"replaced by another file", "printf '%s' \"$five\" > next && mv next input_file"},
    {"rewritten in place", "printf '%s' \"$five\" > input_file"},
};

// The second open is held back by strace for three seconds, and the file
// changed meanwhile (as soon as the first open shows in strace's log).
TEST(changed_input, between_the_passes_is_refused_and_writes_nothing) {
    if (std::system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "no strace";
    for (const change_case& c : change_cases) {
        SCOPED_TRACE(c.what);
        scratch dir, logs;
        dir.write("input_file", three);
        const fs::path log = logs / "strace";
        running r(VARNEL_BIN, dir,
                  "export ASAN_OPTIONS=detect_leaks=0\n"  // the leak checker cannot work under ptrace
                  "run_as=\"strace -f -qq -o " + log.string() +
                      " -e trace=openat -e inject=openat:delay_enter=3000000:when=2 -P input_file\"");
        ASSERT_TRUE(r.wait_for([&] { return read_file(log).find("\"input_file\"") != std::string::npos; }));
        const std::string change = "cd '" + dir.dir.string() + "' && five='" + five + "' && " + c.change;
        ASSERT_EQ(std::system(change.c_str()), 0);
        const outcome o = r.wait();
        EXPECT_EQ(o.status, 1);
        EXPECT_TRUE(o.err.ends_with("\ninput_file changed while it was being read\n\n")) << o.err;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.dir), fs::directory_iterator()), 1) << "an output written";
    }
}

// ---- Text before the first '>' --------------------------------------------

// A comment line at the top is a record of its own, named by it, and every
// later record stays whole: the outputs are those of the same records with
// a '>' before the comment.
TEST(leading_text, is_a_record_of_its_own) {
    for (const std::string& program : {std::string(VARNEL_BIN), std::string(VARNEL_SOL_BIN)}) {
        const auto with = complete_outputs(program, "comment\n>a\nAC\n>b\nGT\n");
        EXPECT_EQ(with, complete_outputs(program, ">comment\n>a\nAC\n>b\nGT\n"));
        EXPECT_EQ(with.at("LZ_comp"), "3\ncomment   \t0\t2\t2\t\na         \t2\t2\t4\t\nb         \t2\t2\t4\t\n");
    }
}

}  // namespace
}  // namespace varnel::testing
