// Where a run's results go, checked before the plug-in is even loaded: a
// missing folder, a file where a folder should be or the other way round,
// a read-only file or a folder that takes no new file would otherwise be
// found only once every frame had been corrected.
#pragma once

#include <string>

#include "command_line/options.h"

// Every output the options name: --output (standard output aside),
// --before, --cube and --precision-report's folder, which is made when its
// parent exists. False with a message naming the option, the path and the
// reason.
bool CheckOutputPlaces(const HostOptions& options, std::string* error);
