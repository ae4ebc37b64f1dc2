// The reader's rules one byte at a time, as a plain loop over the bytes: the
// reference the reader, which works a block at a time, is checked against.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnel {

struct model_input {
    std::int64_t max_len = 0;
    std::vector<std::string> names;  // ten bytes each, space padded
    std::vector<std::string> seqs;
};

model_input model(const std::string& in, bool fold);

}  // namespace varnel
