// The whole run, in the working directory: read "input_file", write "LZ_comp"
// and "d1.dst" .. "d5.dst". Returns the exit status.
#pragma once

namespace varnel {

int run(bool fold);

}  // namespace varnel
