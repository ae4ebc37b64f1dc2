// Runs a built program end to end in a scratch directory of its own.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

namespace varnel::testing {

// The files a complete run writes, in the order it completes them.
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

// A program started in `where` after the shell commands `setup`, standard
// input from /dev/null, while the test watches it; killed if still running
// when it goes out of scope.
class running {
public:
    running(const std::string& program, const scratch& where, const std::string& setup = "");
    ~running();
    running(const running&) = delete;
    running& operator=(const running&) = delete;
    // Waits until standard error holds `text`; false if the program ended or a minute passed first.
    bool wait_for_error(const std::string& text);
    // Waits until `name` exists in the directory; false as above.
    bool wait_for_file(const std::string& name);
    void signal(int sig);
    outcome wait();

private:
    template <class Ready>
    bool wait_until(Ready ready);
    std::filesystem::path dir_, out_, err_;
    pid_t pid_ = -1;
};

// The outputs of a complete run of `program` on `input`, by name.
std::map<std::string, std::string> complete_outputs(const std::string& program, const std::string& input);

// How many of `fresh`'s outputs `dir` holds, when they are the first ones in
// order with no output after them; 0 when every output is `earlier`'s, as it
// was. Any other mix, or a temporary file left behind, fails the test and gives -1.
int outputs_state(const scratch& dir, const std::map<std::string, std::string>& earlier,
                  const std::map<std::string, std::string>& fresh);

// Random DNA records: `count` of `length` letters each.
std::string random_records(int count, int length, unsigned seed);

}  // namespace varnel::testing
