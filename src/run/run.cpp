#include "run/run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iterator>
#include <new>
#include <string>

#include "complexity/pass.h"
#include "distance/matrix_file.h"
#include "distance/measures.h"
#include "input/reader.h"
#include "run/failure.h"
#include "run/output.h"
#include "run/state.h"

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace varnel {
namespace {

// A standard stream closed by the caller leaves its descriptor free, and the
// next file opened takes it: the console text would then land in an output.
// Each closed one is held on /dev/null (open takes the lowest free descriptor).
void hold_standard_streams() {
#if defined(__unix__) || defined(__APPLE__)
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", O_RDWR);
#endif
}

// Waits for one character (or the end of standard input).
void pause() { std::getchar(); }

void open_input(analysis& st) {
    errno = 0;
    st.fi = std::fopen("input_file", "rb");
    if (st.fi == nullptr) fail_io("open", "input_file", errno);
}

void close_input(analysis& st) {
    std::fclose(st.fi);
    st.fi = nullptr;
}

void write_console(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); }

struct measure {
    void (*fill)(analysis&);
    const char* file;
};
constexpr measure measures[] = {{d1, "d1.dst"}, {d2, "d2.dst"}, {d3, "d3.dst"}, {d4, "d4.dst"}, {d5, "d5.dst"}};

// Where a run is: `step` names it for a failure that does not say it itself,
// `written` counts the output files finished: "LZ_comp", then the measures'.
struct progress {
    std::string step;
    std::size_t written = 0;
};

// A failed run removes the outputs it had not finished: those left by an earlier
// run would otherwise sit beside this run's files as if they belonged to it.
// Only regular files go; a directory or a link under such a name stays.
void remove_unfinished(std::size_t written) {
    for (std::size_t k = written; k <= std::size(measures); ++k) {
        const char* name = k == 0 ? "LZ_comp" : measures[k - 1].file;
        std::error_code ec;
        if (std::filesystem::symlink_status(name, ec).type() == std::filesystem::file_type::regular)
            std::filesystem::remove(name, ec);
    }
}

void analyse(analysis& st, bool fold, void (*pass)(analysis&), progress& at) {
    std::string& step = at.step;
    step = "reading input_file";
    get_info(st);
    close_input(st);
    open_input(st);
    getinput(st, fold);
    close_input(st);
    write_console(input_listing(st));

    step = "computing LZ_comp";
    pass(st);
    at.written = 1;
    write_console("Press Enter to continue\n");

    for (const measure& m : measures) {
        step = std::string("writing ") + m.file;
        m.fill(st);
        create_output(st, m.file);
        wo(st);
        close_output(st);
        ++at.written;
    }
}

}  // namespace

int run(bool fold) { return run(fold, complexity_pass); }

int run(bool fold, void (*pass)(analysis&)) {
    hold_standard_streams();
    analysis st;
    errno = 0;
    st.fi = std::fopen("input_file", "rb");
    if (st.fi == nullptr) {
        const int err = open_error("input_file", errno);
        write_console(err == EISDIR ? "\nCannot read input_file: " + std::string(std::strerror(err)) + "\n\n"
                                    : std::string("\nInput file not found.\n\n"));
        pause();
        return 1;
    }
    std::string failure;
    progress at;
    const std::string& step = at.step;
    try {
        analyse(st, fold, pass, at);
    } catch (const run_error& e) {
        failure = e.what();
    } catch (const std::bad_alloc&) {
        failure = "Cannot allocate memory while " + step;
    } catch (const std::exception& e) {
        failure = "Failure while " + step + ": " + e.what();
    }
    if (!failure.empty()) {
        abandon_output(st);
        remove_unfinished(at.written);
        write_console("\n" + failure + "\n\n");
        pause();
        return 1;
    }
    pause();
    return 0;
}

}  // namespace varnel
