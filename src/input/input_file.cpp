#include "input/input_file.h"

#include <cerrno>
#include <cstring>

#include "base/output.h"
#include "base/system.h"

namespace varnel {

#if defined(_WIN32)

bool identity_of(std::FILE* f, file_identity& id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f))), &info)) return false;
    id.device = info.dwVolumeSerialNumber;
    id.file = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    id.size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    id.modified = std::int64_t((std::uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime);
    return true;
}

std::FILE* open_input(file_identity& id, int& err) {
    errno = 0;
    std::FILE* f = std::fopen("input_file", "rb");
    if (f == nullptr) {
        err = open_error("input_file", errno);
        return nullptr;
    }
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)))) != FILE_TYPE_DISK || !identity_of(f, id)) {
        std::fclose(f);
        err = 0;
        return nullptr;
    }
    return f;
}

#else

namespace {
file_identity identity(const struct stat& info) {
    return {std::uint64_t(info.st_dev), std::uint64_t(info.st_ino), std::uint64_t(info.st_size),
            std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}
}  // namespace

bool identity_of(std::FILE* f, file_identity& id) {
    struct stat info;
    if (fstat(fileno(f), &info) != 0) return false;
    id = identity(info);
    return true;
}

std::FILE* open_input(file_identity& id, int& err) {
    const int fd = ::open("input_file", O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        err = errno;
        return nullptr;
    }
    struct stat info;
    err = fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : S_ISREG(info.st_mode) ? 0 : -1;
    std::FILE* f = nullptr;
    if (err == 0 && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) err = errno;
    if (err == 0 && (f = fdopen(fd, "rb")) == nullptr) err = errno;
    if (f == nullptr) {
        ::close(fd);
        if (err < 0) err = 0;
        return nullptr;
    }
    id = identity(info);
    return f;
}

#endif

std::string open_input_reason(int err) { return err == 0 ? "not a regular file" : std::strerror(err); }

}  // namespace varnel
