// The distance matrix file: count, then per record a carriage return, the
// 10-byte name field and each value as "%f " (no line feed anywhere).
#pragma once

#include <string>

#include "base/state.h"

namespace varnel {

// Appends the text "%f " gives for `value`.
void append_value(std::string& out, double value);

// Completes `dist_mtrx` (zero diagonal, lower triangle mirrored from the upper)
// and writes it to `st.fo`.
void wo(analysis& st);

}  // namespace varnel
