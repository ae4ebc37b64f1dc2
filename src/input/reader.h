// The two passes over "input_file" (the stream in `st.fi`).
#pragma once

#include <string>

#include "base/state.h"

namespace varnel {

// First pass: counts every '>' into `num` and the longest record span into `max_len`.
void get_info(analysis& st);

// Second pass: loads names, lengths and sequences, then sizes the count and
// distance matrices. `fold` turns sequence letters a-z to upper case. `num`
// becomes the number of records actually read: text before the first '>' is a
// record of its own (its first line the header), and a '>' that the first pass
// counted inside a header line opens no record.
void getinput(analysis& st, bool fold);

// The INPUT DATA listing of the record names.
std::string input_listing(const analysis& st);

// Refuses sequences whose positions, alone or as a pair, overflow 32-bit counts.
void check_lengths(const analysis& st);

}  // namespace varnel
