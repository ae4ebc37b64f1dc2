// A failure that ends the run: its text is the one line shown to the user.
#pragma once

#include <stdexcept>
#include <string>

namespace varnel {

struct run_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// "Cannot <what> <file>: <reason of errno>"
[[noreturn]] void fail_io(const char* what, const std::string& file, int err);

}  // namespace varnel
