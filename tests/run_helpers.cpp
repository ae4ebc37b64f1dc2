#include "run_helpers.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include "run/run.h"
#include <sys/wait.h>
#include <unistd.h>

namespace varnel::testing {

namespace fs = std::filesystem;

const std::vector<std::string> output_names = [] {
    std::vector<std::string> names;
    for (const char* name : ::varnel::output_names()) names.emplace_back(name);
    return names;
}();

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

scratch::scratch() {
    static std::atomic<int> serial{0};
    dir = fs::temp_directory_path() / ("varnel-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    fs::remove_all(dir);
    fs::create_directories(dir);
}

scratch::~scratch() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

namespace {

int decoded_status(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1; }

// Where a run's standard output and error go: beside its directory, not in
// it, and apart from those of any other run there.
fs::path beside(const scratch& where, const char* what) {
    static std::atomic<int> serial{0};
    return where.dir.parent_path() / (where.dir.filename().string() + "." + std::to_string(serial++) + what);
}

outcome collect(int raw, const fs::path& out, const fs::path& err) {
    outcome o;
    o.status = decoded_status(raw);
    o.out = read_file(out);
    o.err = read_file(err);
    fs::remove(out);
    fs::remove(err);
    return o;
}

}  // namespace

outcome run_program(const std::string& program, const scratch& where, const std::string& stdin_redirect) {
    const fs::path out = beside(where, ".out"), err = beside(where, ".err");
    const std::string cmd = "cd '" + where.dir.string() + "' && exec '" + program + "' " + stdin_redirect + " >'" +
                            out.string() + "' 2>'" + err.string() + "'";
    return collect(std::system(cmd.c_str()), out, err);
}

outcome run_after(const std::string& program, const scratch& where, const std::string& setup) {
    running r(program, where, setup);
    return r.wait();
}

std::string as_unprivileged(const scratch& where) {
    if (::geteuid() != 0) return "";
    fs::permissions(where.dir, fs::perms::all);
    return "run_as='setpriv --reuid=65534 --regid=65534 --clear-groups'";
}

running::running(const std::string& program, const scratch& where, const std::string& setup, streams s)
    : dir_(where.dir), out_(beside(where, ".out")), err_(beside(where, ".err")) {
    const std::string script = "cd '" + dir_.string() + "' || exit 99\n" + setup + "\nexec ${run_as:-} '" + program +
                               "'" + (s.input_held ? "" : " </dev/null") + " >'" + out_.string() + "'" +
                               (s.error_lost ? "" : " 2>'" + err_.string() + "'") + "\n";
    int input[2] = {-1, -1}, error[2] = {-1, -1};
    if ((s.input_held && ::pipe(input) != 0) || (s.error_lost && ::pipe(error) != 0)) ADD_FAILURE() << "no pipe";
    pid_ = ::fork();
    if (pid_ == 0) {
        if (s.input_held) ::dup2(input[0], 0), ::close(input[0]), ::close(input[1]);
        if (s.error_lost) ::dup2(error[1], 2), ::close(error[0]), ::close(error[1]);  // no reader: writes fail
        ::execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (s.input_held) ::close(input[0]), input_ = input[1];
    if (s.error_lost) ::close(error[0]), ::close(error[1]);
}

running::~running() {
    release_input();
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    fs::remove(out_, ignored);
    fs::remove(err_, ignored);
}

bool running::ended() const {
    siginfo_t info{};
    return ::waitid(P_PID, id_t(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0;
}

std::string running::error() const { return read_file(err_); }

bool running::wait_for_error(const std::string& text) {
    return wait_for([&] { return error().find(text) != std::string::npos; });
}

bool running::wait_for_file(const std::string& name, bool present) {
    return wait_for([&] { return fs::exists(fs::symlink_status(dir_ / name)) == present; });
}

void running::signal(int sig) { ::kill(pid_, sig); }

void running::release_input() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
}

outcome running::wait() {
    wait_for([] { return false; });
    if (!ended()) ADD_FAILURE() << "still running after a minute";
    ::kill(pid_, SIGKILL);  // nothing, once it has ended
    int raw = 0;
    ::waitpid(pid_, &raw, 0);
    pid_ = -1;
    release_input();
    outcome o;
    o.status = decoded_status(raw);
    o.out = read_file(out_);
    o.err = read_file(err_);
    return o;
}

std::map<std::string, std::string> complete_outputs(const std::string& program, const std::string& input) {
    scratch dir;
    dir.write("input_file", input);
    const outcome o = run_program(program, dir);
    EXPECT_EQ(o.status, 0) << o.err;
    std::map<std::string, std::string> files;
    for (const std::string& name : output_names) files[name] = dir.read(name);
    return files;
}

std::vector<std::string> temporaries(const scratch& dir) {
    std::vector<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(dir.dir))
        if (e.path().filename().string().front() == '.') names.push_back(e.path().filename().string());
    return names;
}

int outputs_state(const scratch& dir, const std::map<std::string, std::string>& earlier,
                  const std::map<std::string, std::string>& fresh, bool temporaries_allowed) {
    if (!temporaries_allowed && !temporaries(dir).empty()) {
        ADD_FAILURE() << "temporary file left behind: " << temporaries(dir).front();
        return -1;
    }
    std::size_t done = 0;
    while (done < output_names.size() && fs::exists(dir / output_names[done]) &&
           dir.read(output_names[done]) == fresh.at(output_names[done]))
        ++done;
    std::string mix;
    for (std::size_t k = done; k < output_names.size(); ++k) {
        const std::string& name = output_names[k];
        const bool present = fs::exists(dir / name);
        const auto was = earlier.find(name);
        const bool as_earlier = was == earlier.end() ? !present : present && dir.read(name) == was->second;
        if (done == 0 ? !as_earlier : present) mix += " " + name;
    }
    if (!mix.empty()) {
        ADD_FAILURE() << "after this run's first " << done << " outputs, not "
                      << (done == 0 ? "the earlier run's:" : "absent:") << mix;
        return -1;
    }
    return int(done);
}

std::string random_records(int count, int length, unsigned seed) {
    std::mt19937 rng{seed};
    std::string text;
    for (int r = 0; r < count; ++r) {
        text += ">r" + std::to_string(r) + "\n";
        for (int i = 0; i < length; ++i) text += "ACGT"[rng() % 4];
        text += '\n';
    }
    return text;
}

}  // namespace varnel::testing
