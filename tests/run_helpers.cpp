#include "run_helpers.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

namespace varnel::testing {

std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

scratch::scratch() {
    static std::atomic<int> serial{0};
    dir = std::filesystem::temp_directory_path() /
          ("varnel-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
}

scratch::~scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

outcome run_program(const std::string& program, const scratch& where, const std::string& stdin_redirect) {
    const auto out = where.dir.parent_path() / (where.dir.filename().string() + ".out");
    const auto err = where.dir.parent_path() / (where.dir.filename().string() + ".err");
    const std::string cmd = "cd '" + where.dir.string() + "' && '" + program + "' " + stdin_redirect + " >'" +
                            out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(cmd.c_str());
    outcome o;
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    o.out = read_file(out);
    o.err = read_file(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return o;
}

}  // namespace varnel::testing
