#include "run/run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "complexity/pass.h"
#include "complexity/report.h"
#include "distance/matrix_file.h"
#include "distance/measures.h"
#include "input/reader.h"
#include "base/failure.h"
#include "input/input_file.h"
#include "base/output.h"
#include "base/state.h"
#include "run/stop.h"

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

void write_console(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); }

[[noreturn]] void input_changed() { throw run_error("input_file changed while it was being read"); }

// The second pass must read the file the first pass read, as it was then: a
// file replaced or rewritten in between would give counts of neither.
void reopen_input(analysis& st, const file_identity& first) {
    std::fclose(st.fi);
    file_identity again;
    int err = 0;
    st.fi = open_input(again, err);
    if (st.fi == nullptr) throw run_error("Cannot open input_file: " + open_input_reason(err));
    if (again != first) input_changed();
}

void analyse(analysis& st, const file_identity& input, bool fold, void (*pass)(analysis&, const row_sink&),
             std::string& step) {
    step = "reading input_file";
    get_info(st);
    reopen_input(st, input);
    getinput(st, fold);
    file_identity now;
    if (!identity_of(st.fi, now) || now != input) input_changed();
    std::fclose(st.fi);
    st.fi = nullptr;
    write_console(input_listing(st));

    step = std::string("computing ") + report_file;
    complexity_report report(st);
    pass(st, [&report](std::int32_t l) { report.row_done(l); });
    report.close();
    write_console("Press Enter to continue\n");

    for (const measure& m : measures) {
        step = std::string("writing ") + m.file;
        create_output(st, m.file);
        wo(st, m);
        close_output(st);
    }
    step = "putting the outputs in place";
    st.outputs->finish();
}

}  // namespace

int run(bool fold) { return run(fold, complexity_pass); }

std::vector<const char*> output_names() {
    std::vector<const char*> names = {report_file};
    for (const measure& m : measures) names.push_back(m.file);
    return names;
}

int run(bool fold, void (*pass)(analysis&, const row_sink&)) {
    hold_standard_streams();
    output_files files(output_names());
    stop_on_signals(files);
    analysis st;
    st.outputs = &files;
    file_identity input;
    int err = 0;
    st.fi = open_input(input, err);
    if (st.fi == nullptr) {
        write_console(err == ENOENT ? std::string("\nInput file not found.\n\n")
                                    : "\nCannot open input_file: " + open_input_reason(err) + "\n\n");
        pause();
        return 1;
    }
    std::string failure;
    std::string step = "preparing the outputs";
    try {
        files.prepare();
        analyse(st, input, fold, pass, step);
    } catch (const run_error& e) {
        failure = e.what();
    } catch (const std::bad_alloc&) {
        failure = "Cannot allocate memory while " + step;
    } catch (const std::exception& e) {
        failure = "Failure while " + step + ": " + e.what();
    }
    if (!failure.empty()) {
        if (st.fi != nullptr) std::fclose(st.fi);
        st.fo = nullptr;  // closed with the other output files
        files.abandon();
        write_console("\n" + failure + "\n\n");
        pause();
        return 1;
    }
    pause();
    return 0;
}

}  // namespace varnel
