// Opening "input_file": only a regular file is read, and each open says which
// file it reached, so the run can tell that both passes read the same bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace varnel {

// Which file, and its size and last change: equal identities are the same
// file, unchanged (as far as the system's clock tells).
struct file_identity {
    std::uint64_t device = 0, file = 0, size = 0;
    std::int64_t modified = 0;
    bool operator==(const file_identity&) const = default;
};

// Opens "input_file" for binary reading without waiting on it (a pipe with no
// writer would hang the run). Null when it cannot be read: `err` holds the
// errno, or 0 for a file that is not a regular one (a pipe or a device, which
// could not be read twice).
std::FILE* open_input(file_identity& id, int& err);

// The identity of the open `f` now; false if the system does not say.
bool identity_of(std::FILE* f, file_identity& id);

// Why `open_input` failed, for a message.
std::string open_input_reason(int err);

}  // namespace varnel
