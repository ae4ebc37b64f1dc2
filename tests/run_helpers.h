// Runs a built program end to end in a scratch directory of its own.
#pragma once

#include <filesystem>
#include <string>

namespace varnel::testing {

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
    int status = -1;
    std::string out, err;
};

// Runs `program` in `where` with standard input from `stdin_redirect`
// (a shell redirection such as "</dev/null" or "<&-").
outcome run_program(const std::string& program, const scratch& where, const std::string& stdin_redirect = "</dev/null");

}  // namespace varnel::testing
