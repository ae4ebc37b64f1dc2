// Output files of the run, opened one at a time through the state's `fo`; every
// write is checked, so a full disk or a failed create ends the run with a message.
#pragma once

#include <string_view>

#include "run/state.h"

namespace varnel {

void create_output(analysis& st, const char* name);  // "wb", truncating
// The errno to report for a failed fopen of `name`. Windows refuses to open a
// directory, with EACCES; POSIX systems say EISDIR (or, for reading, open it and
// fail the first read with EISDIR), and so does this on every system.
int open_error(const char* name, int err);
void put(analysis& st, std::string_view bytes);
void close_output(analysis& st);
// Closes and removes an output left incomplete by a failure, so no partial file
// remains that looks like a finished one. Does nothing when no output is open.
void abandon_output(analysis& st);

}  // namespace varnel
