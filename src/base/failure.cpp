#include "base/failure.h"

#include <cstring>

namespace varnel {

void fail_io(const char* what, const std::string& file, int err) {
    std::string msg = std::string("Cannot ") + what + " " + file;
    if (err != 0) msg += std::string(": ") + std::strerror(err);
    throw run_error(msg);
}

}  // namespace varnel
