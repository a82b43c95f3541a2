// filterhost --precision-report: the sweeps of the precision chart through a
// started plug-in, every format and setting in turn.
#pragma once

#include <string>

#include "session/host_session.h"

// Writes dir/precision.md and dir/precision.png (dir is made if missing) and
// prints the table. `command` is the command line the table quotes. Returns
// false with a message when a file cannot be written; frames the plug-in
// fails are marked in the table.
bool RunPrecisionReport(HostSession* session, const std::string& dir, const std::string& command,
                        std::string* error);
