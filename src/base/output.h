// The output files of a run. Each is written under a temporary name beside the
// file it replaces and, once complete and on disk, renamed over it, so no output
// is ever half-written under its name. When the first output takes its place the
// earlier run's later outputs are removed, so the outputs present are either all
// an earlier run's or each this run's complete one. An output that is a device or
// a pipe is written directly: a rename would replace the device itself.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/state.h"

namespace varnel {

class output_files {
public:
    // `names` in the order the run completes them.
    explicit output_files(std::vector<const char*> names);
    ~output_files();
    output_files(const output_files&) = delete;
    output_files& operator=(const output_files&) = delete;

    // Takes the directory's outputs for this run (a second run there fails
    // here), checks each name as a truncating open would (a write-protected
    // file or a directory fails) and creates the temporary files. Nothing
    // existing is changed. Throws run_error naming the output and the reason.
    void prepare();
    // The stream to write `name` to: its temporary file, or the device opened now.
    std::FILE* open(const char* name);
    // Takes back the stream `open` gave for `name`, now complete: it is
    // flushed to disk and put in its place, in the background, after the
    // outputs before it. Throws run_error when a write failed, here or in
    // putting an earlier output in place.
    void complete(const char* name, std::FILE* stream);
    // Waits until every output is in place; throws the first failure.
    void finish();
    // The run has failed: waits for the outputs being put in place, then
    // closes and removes every temporary file.
    void abandon() noexcept;
    // Called on another thread when a signal ends the run: removes the
    // temporary files, writes `message` as the last line on standard error and
    // ends the process with status 1. Returns only if the run is over already.
    void stop(std::string_view message) noexcept;

private:
    struct output {
        const char* name;
        std::filesystem::path target;  // the file the name leads to, links followed
        std::filesystem::path temp;    // the temporary file while it exists
        std::FILE* stream = nullptr;   // open on the temporary or the device
        bool direct = false;           // a device or pipe, written through its name
    };
    bool lock_directory();  // true if taken; throws when another run holds it
    void remove_stale();     // the temporary files a killed run left here
    output& find(const char* name);
    void put_in_place(std::size_t k);      // flushes output k to disk and renames it, in turn
    void remove_earlier_run();             // the earlier run's outputs after the first
    void throw_failure();                  // the first failure of put_in_place, if any; lock_ held
    void wait_for_placing();
    void release();  // the directory's lock

    std::mutex lock_;  // the names of the temporary files and the turn, against stop()
    std::condition_variable turn_changed_;
    std::vector<output> outputs_;
    std::vector<std::thread> placing_;  // one a completed output, while it is flushed and renamed
    std::size_t turn_ = 0;              // the output whose turn it is to be put in place
    std::string failure_;               // why an output could not be put in place
    std::atomic<bool> failed_{false};   // failure_ is set
    bool over_ = false;  // every output in place, or the run abandoned
#if defined(_WIN32)
    void* dir_lock_ = nullptr;  // a named mutex
#else
    int dir_lock_ = -1;  // the directory, locked
#endif
};

// Writes through `st.fo`, naming `st.fo_name` when a write fails.
void put(analysis& st, std::string_view bytes);
// Opens `name` through the run's output files into `st.fo`.
void create_output(analysis& st, const char* name);
// Completes `st.fo` and puts it in place.
void close_output(analysis& st);

// The errno to report for a failed fopen of `name`. Windows refuses to open a
// directory, with EACCES; POSIX systems say EISDIR, and so does this everywhere.
int open_error(const char* name, int err);

}  // namespace varnel
