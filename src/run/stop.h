// The signals that stop a run: the run ends as a reported failure does, with
// its temporary files removed and a line naming the signal, and never pauses.
#pragma once

#include "base/output.h"

namespace varnel {

// From here on SIGINT, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and
// closing the console) end the run through `files.stop`; once the run is over
// they act as they would have without this. A signal ignored when the program
// started stays ignored. SIGPIPE and SIGXFSZ are ignored, so a write to a
// closed pipe or past the file-size limit fails with its reason instead of
// killing the run; a console write that fails so is harmless. Call before any
// other thread starts: later threads inherit the blocked signals.
void stop_on_signals(output_files& files);

}  // namespace varnel
