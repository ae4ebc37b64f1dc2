// The output files' flushes to disk failing, in this process: a flush that
// fails late, once the outputs after it are complete and waiting their turn
// to be put in place, must end the run with its reason, every output as the
// earlier run left it and no temporary file behind.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif
#include <unistd.h>

#include "base/failure.h"
#include "base/output.h"
#include "run_helpers.h"

#if defined(__linux__)
namespace {
std::atomic<bool> flushes_fail{false};
}

// This test program's own flush to disk, which the outputs call: while
// flushes_fail is set it fails, after a pause long enough for the outputs
// completed after the first to be waiting their turn.
extern "C" int fdatasync(int fd) {
    if (!flushes_fail) return int(::syscall(SYS_fdatasync, fd));
    ::usleep(200000);
    errno = EIO;
    return -1;
}
#endif

namespace varnel::testing {
namespace {

namespace fs = std::filesystem;

TEST(output_files, a_late_failed_flush_ends_the_run_with_the_earlier_outputs_in_place) {
#if !defined(__linux__)
    GTEST_SKIP() << "the flush is replaced through Linux's system call";
#else
    scratch dir;
    const std::vector<const char*> names = {"first", "second", "third", "fourth"};
    for (const char* name : names) dir.write(name, std::string("earlier ") + name);
    const fs::path was = fs::current_path();
    fs::current_path(dir.dir);  // the outputs are named in the working directory

    std::string failure;
    {
        output_files outputs(names);
        outputs.prepare();
        flushes_fail = true;
        for (const char* name : names) {
            std::FILE* f = outputs.open(name);
            std::fputs("this run's", f);
            outputs.complete(name, f);
        }
        // a turn that did not pass would leave the last output's flush waiting for ever
        auto finished = std::async(std::launch::async, [&] {
            try {
                outputs.finish();
            } catch (const run_error& e) {
                failure = e.what();
            }
        });
        if (finished.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            std::fprintf(stderr, "the outputs were still being put in place after 30 s\n");
            std::_Exit(1);  // the waiting threads cannot be joined
        }
        flushes_fail = false;
        outputs.abandon();
    }
    fs::current_path(was);

    EXPECT_EQ(failure, "Cannot write first: Input/output error");
    std::vector<std::string> present;
    for (const auto& entry : fs::directory_iterator(dir.dir)) present.push_back(entry.path().filename().string());
    std::sort(present.begin(), present.end());
    EXPECT_EQ(present, (std::vector<std::string>{"first", "fourth", "second", "third"}));  // no temporary file
    for (const char* name : names) EXPECT_EQ(dir.read(name), std::string("earlier ") + name) << name;
#endif
}

}  // namespace
}  // namespace varnel::testing
