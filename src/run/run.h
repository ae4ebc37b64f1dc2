// The whole run, in the working directory: read "input_file", write "LZ_comp"
// and "d1.dst" .. "d5.dst". Returns the exit status.
#pragma once

#include "run/state.h"

namespace varnel {

// `pass` fills the counts and writes the report; the product always uses the
// complexity pass, benchmarks put another parse in its place.
int run(bool fold, void (*pass)(analysis&));
int run(bool fold);

}  // namespace varnel
