// The analysis state: everything the phases of one run share.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/memory.h"

namespace varnel {

class output_files;

using name_field = std::array<char, 10>;  // first ten kept header bytes, space padded

struct analysis {
    std::FILE* fi = nullptr;  // "input_file" while an input pass reads it
    std::FILE* fo = nullptr;  // the output file being written (until complete, a temporary file)
    const char* fo_name = "";  // its name, for messages
    std::size_t fo_unflushed = 0;  // bytes written to it since the system was asked to start writing them
    output_files* outputs = nullptr;  // where `fo` comes from and goes when complete

    std::int32_t num = 0;      // records read
    std::int64_t max_len = 0;  // longest record span seen by the first pass

    std::vector<std::int32_t> ex_com;  // num: complexity of each sequence
    // num x num, row-major, sequence l then e; in pages as the engine's arrays,
    // as their first touch costs a fault per page
    std::vector<std::int32_t, page_allocator<std::int32_t>> cr_ex_com;
    std::vector<name_field> data_name;    // num
    std::vector<std::int32_t> length;     // num
    std::vector<std::string_view> S;      // num sequences of kept bytes, in `str`
    byte_store str;                       // working buffer: every sequence, back to back

    std::int32_t& cr(std::int32_t l, std::int32_t e) { return cr_ex_com[std::size_t(l) * std::size_t(num) + std::size_t(e)]; }
    std::int32_t cr(std::int32_t l, std::int32_t e) const { return cr_ex_com[std::size_t(l) * std::size_t(num) + std::size_t(e)]; }
};

// Sizes `ex_com` and `cr_ex_com` for `num` records (the distances are computed
// from them as each matrix file is written: no matrix of them is held). Refuses, naming
// the size, when the matrices cannot fit in this machine's memory.
void allocate_matrices(analysis& st);

}  // namespace varnel
