#include "run/output.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "run/failure.h"

namespace varnel {

void create_output(analysis& st, const char* name) {
    errno = 0;
    st.fo = std::fopen(name, "wb");
    if (st.fo == nullptr) fail_io("create", name, open_error(name, errno));
    st.fo_name = name;
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
    errno = 0;
    // fclose flushes what is still buffered, so a full disk often shows only here
    if (std::fclose(f) != 0) {
        int err = errno;
        std::remove(st.fo_name);
        fail_io("write", st.fo_name, err);
    }
}

void abandon_output(analysis& st) {
    if (st.fo == nullptr) return;
    std::fclose(st.fo);
    st.fo = nullptr;
    std::remove(st.fo_name);
}

}  // namespace varnel
