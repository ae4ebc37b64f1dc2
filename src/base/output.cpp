#include "base/output.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "base/failure.h"
#include "base/system.h"

namespace varnel {
namespace {

namespace fs = std::filesystem;

// The file `name` leads to: every symbolic link followed, to a path that need
// not exist (a dangling link is written through, as a truncating open would).
int resolve(const char* name, fs::path& target) {
    fs::path p = name;
    for (int hops = 0;; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) break;
        if (hops == 40) return ELOOP;
        const fs::path next = fs::read_symlink(p, ec);
        if (ec) return ec.value();
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    target = p;
    return 0;
}

const char another_run[] = "Cannot write the outputs: another run is writing them in this directory";

// Temporary files are named ".<file>.<8 letters or digits>.tmp".
constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr std::size_t suffix_length = 8;

bool is_temp_name(const std::string& name, const std::string& file) {
    const std::string head = "." + file + ".", tail = ".tmp";
    return name.size() == head.size() + suffix_length + tail.size() && name.starts_with(head) && name.ends_with(tail) &&
           name.find_first_not_of(letters, head.size()) == head.size() + suffix_length;
}

// A name for a temporary file beside `target`; `attempt` varies it.
fs::path temp_name(const fs::path& target, unsigned attempt) {
    std::uint64_t x = std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                      (std::uint64_t(attempt) << 40) ^ std::uint64_t(reinterpret_cast<std::uintptr_t>(&x));
#if defined(_WIN32)
    x ^= std::uint64_t(GetCurrentProcessId()) << 20;
#else
    x ^= std::uint64_t(getpid()) << 20;
#endif
    std::string suffix;
    for (std::size_t k = 0; k < suffix_length; ++k) {
        x = (x ^ (x >> 31)) * 0x9e3779b97f4a7c15u;  // mixes the bits before each letter
        suffix += letters[(x >> 32) % (sizeof letters - 1)];
    }
    std::string name = ".";  // hidden where a leading dot hides a file
    name += target.filename().string();
    name += '.';
    name += suffix;
    name += ".tmp";
    return target.parent_path() / name;
}

#if defined(_WIN32)

int last_error_errno() {
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    default: return EIO;
    }
}

// The file may be written by this process: read-only files and those the
// user may not write are refused, as opening them for writing would be.
int check_writable(const fs::path& file) { return _waccess(file.c_str(), 2) == 0 ? 0 : errno; }

// Created exclusively, and shared for deletion so that stop() can remove it
// while it is open.
std::FILE* create_exclusive(const fs::path& temp, int& err) {
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        err = last_error_errno();
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    std::FILE* f = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (f == nullptr) {
        err = errno;
        if (fd >= 0) _close(fd);
        else CloseHandle(h);
        DeleteFileW(temp.c_str());
    }
    return f;
}

void keep_mode(std::FILE*, const fs::path&) {}

void start_writeback(std::FILE*) {}

int sync_to_disk(std::FILE* f) {
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)))) ? 0 : last_error_errno();
}

int replace_file(const fs::path& from, const fs::path& to) {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0
                                                                                                    : last_error_errno();
}

int remove_file(const fs::path& file) { return DeleteFileW(file.c_str()) ? 0 : last_error_errno(); }

// Writes to standard error's descriptor, past the stream and its lock.
void write_error(const std::string& text) { _write(2, text.data(), unsigned(text.size())); }

[[noreturn]] void end_process(int status) {
    TerminateProcess(GetCurrentProcess(), UINT(status));
    _exit(status);
}

#else

int check_writable(const fs::path& file) { return faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : errno; }

// Created exclusively, with the permissions a new file gets from fopen.
std::FILE* create_exclusive(const fs::path& temp, int& err) {
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        err = errno;
        return nullptr;
    }
    std::FILE* f = fdopen(fd, "wb");
    if (f == nullptr) {
        err = errno;
        ::close(fd);
        ::unlink(temp.c_str());
    }
    return f;
}

// A file replaced keeps its permissions, as one truncated in place would.
void keep_mode(std::FILE* f, const fs::path& target) {
    struct stat was, now;
    if (::stat(target.c_str(), &was) == 0 && S_ISREG(was.st_mode) && fstat(fileno(f), &now) == 0 &&
        (was.st_mode & 07777) != (now.st_mode & 07777))
        fchmod(fileno(f), was.st_mode & 07777);
}

int sync_to_disk(std::FILE* f) {
#if defined(_POSIX_SYNCHRONIZED_IO) && _POSIX_SYNCHRONIZED_IO > 0
    return fdatasync(fileno(f)) == 0 ? 0 : errno;
#else
    return fsync(fileno(f)) == 0 ? 0 : errno;
#endif
}

// Asks the system to start writing what `f` holds so far; no wait, no failure.
void start_writeback([[maybe_unused]] std::FILE* f) {
#if defined(SYNC_FILE_RANGE_WRITE)
    sync_file_range(fileno(f), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

int replace_file(const fs::path& from, const fs::path& to) { return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno; }

int remove_file(const fs::path& file) { return ::unlink(file.c_str()) == 0 ? 0 : errno; }

// Writes to standard error's descriptor, past the stream and its lock.
void write_error(const std::string& text) { [[maybe_unused]] const ssize_t ignored = ::write(2, text.data(), text.size()); }

[[noreturn]] void end_process(int status) { _exit(status); }

#endif

constexpr std::size_t writeback_step = std::size_t(1) << 20;

// The run's last line on the console, set apart as a failure's is.
void write_console_line(std::string_view text) {
    std::string line = "\n";
    line.append(text);
    line += "\n\n";
    write_error(line);
}

bool is_regular(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

}  // namespace

output_files::output_files(std::vector<const char*> names) {
    for (const char* name : names) outputs_.push_back({name, {}, {}, nullptr, false});
}

output_files::~output_files() { abandon(); }

bool output_files::lock_directory() {
#if defined(_WIN32)
    // One named mutex per working directory, held while the process lives or until released.
    std::wstring dir(GetFullPathNameW(L".", 0, nullptr, nullptr), L'\0');
    dir.resize(GetFullPathNameW(L".", DWORD(dir.size()), dir.data(), nullptr));
    std::uint64_t h = 1469598103934665603u;
    for (wchar_t c : dir) h = (h ^ std::uint64_t(towlower(c))) * 1099511628211u;
    SetLastError(0);  // a new mutex need not clear an earlier error
    dir_lock_ = CreateMutexW(nullptr, FALSE, (L"Local\\varnel-outputs-" + std::to_wstring(h)).c_str());
    const bool taken = GetLastError() != ERROR_ALREADY_EXISTS;
    if (dir_lock_ != nullptr && !taken) CloseHandle(dir_lock_), dir_lock_ = nullptr;
    if (!taken) throw run_error(another_run);
    return dir_lock_ != nullptr;
#else
    // Advisory, and only where the system offers it: a directory that cannot be
    // opened or locked is written without it.
    dir_lock_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_lock_ >= 0 && flock(dir_lock_, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(dir_lock_);
        dir_lock_ = -1;
        if (err == EWOULDBLOCK) throw run_error(another_run);
    }
    return dir_lock_ >= 0;
#endif
}

void output_files::remove_stale() {
    std::error_code ec;
    for (fs::directory_iterator it(".", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        for (const output& o : outputs_)
            if (is_temp_name(name, o.name)) {
                std::error_code ignored;
                fs::remove(it->path(), ignored);
            }
    }
}

void output_files::prepare() {
    // With the lock, a temporary file of an output here is one a killed run left.
    if (lock_directory()) remove_stale();
    for (output& o : outputs_) {
        if (const int err = resolve(o.name, o.target)) fail_io("create", o.name, err);
        std::error_code ec;
        const fs::file_status s = fs::status(o.target, ec);
        if (fs::is_directory(s)) fail_io("create", o.name, EISDIR);
        if (fs::exists(s) && !fs::is_regular_file(s)) {
            o.direct = true;
            continue;
        }
        if (fs::is_regular_file(s))
            if (const int err = check_writable(o.target)) fail_io("create", o.name, err);
    }
    // Only once every name has passed: a failure above leaves nothing behind.
    for (output& o : outputs_) {
        if (o.direct) continue;
        int err = EEXIST;
        for (unsigned attempt = 0; o.stream == nullptr && err == EEXIST && attempt < 100; ++attempt) {
            const fs::path temp = temp_name(o.target, attempt);
            std::lock_guard<std::mutex> hold(lock_);
            o.stream = create_exclusive(temp, err);
            if (o.stream != nullptr) o.temp = temp;
        }
        if (o.stream == nullptr) fail_io("create", o.name, err);
        keep_mode(o.stream, o.target);
    }
}

output_files::output& output_files::find(const char* name) {
    for (output& o : outputs_)
        if (std::strcmp(o.name, name) == 0) return o;
    throw run_error(std::string("No output named ") + name);
}

std::FILE* output_files::open(const char* name) {
    output& o = find(name);
    if (o.direct) {
        errno = 0;
        o.stream = std::fopen(name, "wb");
        if (o.stream == nullptr) fail_io("create", name, open_error(name, errno));
    }
    return o.stream;
}

void output_files::complete(const char* name, std::FILE* stream) {
    output& o = find(name);
    const std::size_t k = std::size_t(&o - outputs_.data());
    errno = 0;
    // fclose would flush what is still buffered too, but its failure could not
    // be told from one to close; a full disk often shows only here
    if (std::fflush(stream) != 0) {
        const int err = errno;
        std::fclose(stream);
        o.stream = nullptr;
        fail_io("write", name, err);
    }
    if (failed_) {  // not lock_ otherwise: it is held while an output is put in place, which can take seconds
        std::lock_guard<std::mutex> hold(lock_);
        throw_failure();
    }
    // Flushes to disk take a fraction of a millisecond each, mostly waiting:
    // those of several outputs overlap, and with the work still to do.
    try {
        placing_.emplace_back(&output_files::put_in_place, this, k);
    } catch (const std::system_error&) {
        put_in_place(k);  // no thread to be had
    }
}

void output_files::put_in_place(std::size_t k) {
    output& o = outputs_[k];
    int err = o.direct ? 0 : sync_to_disk(o.stream);  // on disk before its name is
    errno = 0;
    if (std::fclose(o.stream) != 0 && err == 0) err = errno;
    std::unique_lock<std::mutex> hold(lock_);
    o.stream = nullptr;
    turn_changed_.wait(hold, [&] { return turn_ == k; });
    try {
        if (failure_.empty()) {  // an earlier output failed: none after it is put in place, but the turn passes on
            if (err != 0) fail_io("write", o.name, err);
            if (k == 0) remove_earlier_run();
            if (!o.direct) {
                if (const int e = replace_file(o.temp, o.target)) fail_io("create", o.name, e);
                o.temp.clear();
            }
        }
    } catch (const run_error& e) {
        failure_ = e.what();
        failed_ = true;
    }
    if (++turn_ == outputs_.size() && failure_.empty()) {  // the run's outputs are all in place
        over_ = true;
        release();
    }
    turn_changed_.notify_all();
}

void output_files::throw_failure() {
    if (!failure_.empty()) throw run_error(failure_);
}

void output_files::wait_for_placing() {
    for (std::thread& t : placing_) t.join();
    placing_.clear();
}

void output_files::finish() {
    wait_for_placing();
    std::lock_guard<std::mutex> hold(lock_);
    throw_failure();
}

void output_files::remove_earlier_run() {
    // Checked before any is removed: a file the user may not write stays, and the run fails.
    for (std::size_t k = 1; k < outputs_.size(); ++k)
        if (is_regular(outputs_[k].target))
            if (const int err = check_writable(outputs_[k].target)) fail_io("create", outputs_[k].name, err);
    for (std::size_t k = 1; k < outputs_.size(); ++k)
        if (is_regular(outputs_[k].target))
            if (const int err = remove_file(outputs_[k].target); err != 0 && err != ENOENT)
                fail_io("remove", outputs_[k].name, err);
}

void output_files::abandon() noexcept {
    wait_for_placing();
    std::lock_guard<std::mutex> hold(lock_);
    for (output& o : outputs_) {
        if (o.stream != nullptr) std::fclose(o.stream);
        o.stream = nullptr;
        if (!o.temp.empty()) remove_file(o.temp);
        o.temp.clear();
    }
    over_ = true;
    release();
}

void output_files::stop(std::string_view message) noexcept {
    lock_.lock();  // held to the end: no output is put in place any more
    if (over_) {
        lock_.unlock();
        return;
    }
    for (const output& o : outputs_)
        if (!o.temp.empty()) remove_file(o.temp);
    write_console_line(message);
    end_process(1);
}

void output_files::release() {
#if defined(_WIN32)
    if (dir_lock_ != nullptr) CloseHandle(dir_lock_);
    dir_lock_ = nullptr;
#else
    if (dir_lock_ >= 0) ::close(dir_lock_);
    dir_lock_ = -1;
#endif
}

void put(analysis& st, std::string_view bytes) {
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), st.fo) != bytes.size()) fail_io("write", st.fo_name, errno);
    // The disk takes what is written while the rest is made, so the flush
    // that puts the file in place finds little left to wait for.
    if ((st.fo_unflushed += bytes.size()) >= writeback_step) {
        st.fo_unflushed = 0;
        start_writeback(st.fo);
    }
}

void create_output(analysis& st, const char* name) {
    st.fo_name = name;
    st.fo_unflushed = 0;
    st.fo = st.outputs->open(name);
}

void close_output(analysis& st) {
    std::FILE* f = st.fo;
    st.fo = nullptr;
    st.outputs->complete(st.fo_name, f);
}

int open_error([[maybe_unused]] const char* name, int err) {
#if defined(_WIN32)
    std::error_code ec;
    if (err == EACCES && std::filesystem::is_directory(name, ec)) return EISDIR;
#endif
    return err;
}

}  // namespace varnel
