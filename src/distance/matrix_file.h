// The distance matrix file: count, then per record a carriage return, the
// 10-byte name field and each value as "%f " (no line feed anywhere).
#pragma once

#include <string>

#include "base/state.h"
#include "distance/measures.h"

namespace varnel {

// Appends the text "%f " gives for `value`.
void append_value(std::string& out, double value);

// Writes the matrix of measure `m` to `st.fo`: each value computed from the
// counts as its row is formatted, zero on the diagonal, the same value in the
// cells (i, j) and (j, i); rows formatted on all threads, written in order.
void wo(analysis& st, const measure& m);

}  // namespace varnel
