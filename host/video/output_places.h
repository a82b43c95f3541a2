// Where a run's results go, checked before the plug-in is even loaded: a
// missing folder, a file where a folder should be or the other way round,
// a read-only file or a folder that takes no new file would otherwise be
// found only once every frame had been corrected.
#pragma once

#include <string>
#include <vector>

#include "command_line/options.h"

// The names of --output, --before and --cube as they stand on the disk: a
// file whose name differs only in case is that file (Windows takes it for
// it), and is written under its own name, with a note; a symbolic link is
// refused (writing under a temporary name and renaming would replace the
// link, not the file it points to), a link to the input as the input.
// False with a message.
bool SettleOutputNames(HostOptions* options, std::vector<std::string>* notes, std::string* error);

// Every output the options name: --output (standard output: closed, or a
// terminal, where video has nowhere to go, are refused),
// --before, --cube and --precision-report's folder, which is made when its
// parent exists. False with a message naming the option, the path and the
// reason.
bool CheckOutputPlaces(const HostOptions& options, std::string* error);
