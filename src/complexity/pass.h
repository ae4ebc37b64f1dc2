// The complexity pass: the counts of every sequence alone and of every ordered
// pair, into `ex_com` and `cr_ex_com`, the rows on all the processors the
// program may use.
#pragma once

#include <cstdint>
#include <functional>

#include "base/state.h"

namespace varnel {

// Called once per record l, on the thread that finished its row, when
// ex_com[l] and row l of cr_ex_com hold their counts.
using row_sink = std::function<void(std::int32_t)>;

void complexity_pass(analysis& st, const row_sink& row_done);

}  // namespace varnel
