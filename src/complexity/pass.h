// The complexity pass: every sequence alone and every ordered pair, written to
// "LZ_comp" with its progress text on standard error.
#pragma once

#include "run/state.h"

namespace varnel {

void complexity_pass(analysis& st);

}  // namespace varnel
