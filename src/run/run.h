// The whole run, in the working directory: read "input_file", write the
// complexity report and the distance files. Returns the exit status.
#pragma once

#include <vector>

#include "base/state.h"
#include "complexity/pass.h"

namespace varnel {

// `pass` fills the counts, telling `row_done` of each finished row; the
// product always uses the complexity pass, benchmarks put another in its place.
int run(bool fold, void (*pass)(analysis&, const row_sink&));
int run(bool fold);

// The files a complete run writes, in the order it completes them: the
// report, then each measure's file.
std::vector<const char*> output_names();

}  // namespace varnel
