// The complexity report "LZ_comp" and the progress text on standard error: a
// line and a paragraph per record, in record order, each written as soon as
// its row and every row before it are finished, so both read as a one-thread
// run writes them whatever order the rows finish in.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/state.h"

namespace varnel {

inline constexpr char report_file[] = "LZ_comp";

class complexity_report {
public:
    // Creates "LZ_comp" and writes its first line, the record count.
    explicit complexity_report(analysis& st);
    // Row l is final: ex_com[l] and row l of cr_ex_com hold their counts.
    // Writes every finished row not yet written, in order. From any thread.
    void row_done(std::int32_t l);
    // Completes "LZ_comp", once every row is done.
    void close();

private:
    void write(std::int32_t l);

    analysis& st_;
    std::mutex lock_;
    std::vector<char> done_;
    std::int32_t next_ = 0;  // the first row not written yet
    std::string line_, progress_;
};

}  // namespace varnel
