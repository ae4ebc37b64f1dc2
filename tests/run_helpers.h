// Runs a built program end to end in a scratch directory of its own.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <sys/types.h>
#include <unistd.h>

// The tests are built with the address checker, and so are the programs they
// run: those are linked dynamically and need more address space than usual.
#if defined(__SANITIZE_ADDRESS__)
#define VARNEL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VARNEL_ASAN 1
#endif
#endif

namespace varnel::testing {

// The files a complete run writes, in the order it completes them (the
// product's own list).
extern const std::vector<std::string> output_names;

std::string read_file(const std::filesystem::path& p);
void write_file(const std::filesystem::path& p, const std::string& bytes);

struct scratch {
    std::filesystem::path dir;
    scratch();
    ~scratch();
    scratch(const scratch&) = delete;
    scratch& operator=(const scratch&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return dir / name; }
    std::string read(const std::string& name) const { return read_file(dir / name); }
    void write(const std::string& name, const std::string& bytes) const { write_file(dir / name, bytes); }
};

struct outcome {
    int status = -1;  // the exit status, or 128 + the signal that ended the program
    std::string out, err;
};

// Runs `program` in `where` with standard input from `stdin_redirect`
// (a shell redirection such as "</dev/null" or "<&-").
outcome run_program(const std::string& program, const scratch& where, const std::string& stdin_redirect = "</dev/null");

// Runs `program` in `where` after the shell commands `setup` (ulimit ..., exec 2>&- ...);
// a `run_as` they set is a command the program runs under.
outcome run_after(const std::string& program, const scratch& where, const std::string& setup);

// Shell commands for `setup` that make the program run as a user who is not
// root, where the tests run as root (root may read and write any file).
std::string as_unprivileged(const scratch& where);

// A program started in `where` after the shell commands `setup`, while the
// test watches it; killed if still running when it goes out of scope.
struct streams {
    bool input_held = false;  // standard input a pipe that gives nothing until release_input(); else /dev/null
    bool error_lost = false;  // standard error a pipe whose reader is gone; else a file
};

class running {
public:
    running(const std::string& program, const scratch& where, const std::string& setup = "", streams s = {});
    ~running();
    running(const running&) = delete;
    running& operator=(const running&) = delete;
    // Waits until `ready()`; false if the program ended or a minute passed first.
    template <class Ready>
    bool wait_for(Ready ready) {
        for (int k = 0; k < 120000; ++k) {
            if (ready()) return true;
            if (ended()) return ready();
            ::usleep(500);
        }
        return false;
    }
    std::string error() const;  // standard error so far
    // Waits until standard error holds `text`; false as above.
    bool wait_for_error(const std::string& text);
    // Waits until `name` exists (or, with `present` false, does not) in the directory; false as above.
    bool wait_for_file(const std::string& name, bool present = true);
    void signal(int sig);
    void release_input();  // ends the held standard input
    // Waits for the program to end; one still running after a minute is killed.
    outcome wait();

private:
    bool ended() const;  // left to be waited for
    std::filesystem::path dir_, out_, err_;
    pid_t pid_ = -1;
    int input_ = -1;  // the held standard input's write end
};

// The outputs of a complete run of `program` on `input`, by name.
std::map<std::string, std::string> complete_outputs(const std::string& program, const std::string& input);

// How many of `fresh`'s outputs `dir` holds, when they are the first ones in
// order with no output after them; 0 when every output is `earlier`'s, as it
// was. Any other mix, or a temporary file left behind, fails the test and gives -1.
int outputs_state(const scratch& dir, const std::map<std::string, std::string>& earlier,
                  const std::map<std::string, std::string>& fresh, bool temporaries_allowed = false);

// The temporary files in `dir`: those whose names begin with a dot.
std::vector<std::string> temporaries(const scratch& dir);

// Random DNA records: `count` of `length` letters each.
std::string random_records(int count, int length, unsigned seed);

}  // namespace varnel::testing
