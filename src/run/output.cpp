#include "run/output.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "run/failure.h"

namespace varnel {

namespace {

#if !defined(_WIN32)
// An existing regular file opened for rewriting in place, else null. Truncating
// a file on opening it costs more than writing a whole matrix on some file
// systems (ext4 frees its blocks and flushes the new ones on close); writing
// over the old bytes and cutting off what is left at the end gives the same file.
std::FILE* open_existing(const char* name) {
    std::FILE* f = std::fopen(name, "r+b");
    if (f == nullptr) return nullptr;
    struct stat info;
    if (fstat(fileno(f), &info) == 0 && S_ISREG(info.st_mode)) return f;
    std::fclose(f);  // a device or pipe: opened afresh, as always
    return nullptr;
}
#endif

}  // namespace

void create_output(analysis& st, const char* name) {
    st.fo_name = name;
#if !defined(_WIN32)
    st.fo = open_existing(name);
    st.fo_rewrite = st.fo != nullptr;
    if (st.fo != nullptr) return;
#endif
    errno = 0;
    st.fo = std::fopen(name, "wb");
    if (st.fo == nullptr) fail_io("create", name, open_error(name, errno));
}

int open_error([[maybe_unused]] const char* name, int err) {
#if defined(_WIN32)
    std::error_code ec;
    if (err == EACCES && std::filesystem::is_directory(name, ec)) return EISDIR;
#endif
    return err;
}

void put(analysis& st, std::string_view bytes) {
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), st.fo) != bytes.size()) fail_io("write", st.fo_name, errno);
}

void close_output(analysis& st) {
    std::FILE* f = st.fo;
    st.fo = nullptr;
    bool failed = false;
    int err = 0;
#if !defined(_WIN32)
    if (st.fo_rewrite) {  // a rewritten file ends where this run's bytes end
        st.fo_rewrite = false;
        errno = 0;
        const off_t end = std::fflush(f) == 0 ? ftello(f) : -1;
        if (end < 0 || ftruncate(fileno(f), end) != 0) failed = true, err = errno;
    }
#endif
    errno = 0;
    // fclose flushes what is still buffered, so a full disk often shows only here
    if (std::fclose(f) != 0 && !failed) failed = true, err = errno;
    if (failed) {
        std::remove(st.fo_name);
        fail_io("write", st.fo_name, err);
    }
}

void abandon_output(analysis& st) {
    if (st.fo == nullptr) return;
    std::fclose(st.fo);
    st.fo = nullptr;
    st.fo_rewrite = false;
    std::remove(st.fo_name);
}

}  // namespace varnel
