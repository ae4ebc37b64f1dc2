#include "run/run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "complexity/pass.h"
#include "distance/matrix_file.h"
#include "distance/measures.h"
#include "input/reader.h"
#include "run/failure.h"
#include "run/output.h"
#include "run/state.h"

namespace varnel {
namespace {

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

void analyse(analysis& st, bool fold, void (*pass)(analysis&)) {
    get_info(st);
    close_input(st);
    open_input(st);
    getinput(st, fold);
    close_input(st);
    write_console(input_listing(st));

    pass(st);
    write_console("Press Enter to continue\n");

    for (const measure& m : measures) {
        m.fill(st);
        create_output(st, m.file);
        wo(st);
        close_output(st);
    }
}

}  // namespace

int run(bool fold) { return run(fold, complexity_pass); }

int run(bool fold, void (*pass)(analysis&)) {
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
    try {
        analyse(st, fold, pass);
    } catch (const run_error& e) {
        failure = e.what();
    } catch (const std::bad_alloc&) {
        failure = "Cannot allocate memory";
    }
    if (!failure.empty()) {
        abandon_output(st);
        write_console("\n" + failure + "\n\n");
        pause();
        return 1;
    }
    pause();
    return 0;
}

}  // namespace varnel
