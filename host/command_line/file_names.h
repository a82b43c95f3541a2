// Names that are no files. Windows opens a device, not a file, for a name
// whose last part is NUL, CON, PRN, AUX, COM1-COM9 or LPT1-LPT9, in any
// case, in any folder and with any extension (nul.y4m, sub/Aux.png): under
// Wine too, whatever lies on the disk under that name. A run would write
// nothing, wait on a serial port or fail with an unrelated reason, so such
// names are refused wherever a file is meant. Unix device paths (/dev/...)
// other than these are whatever they name: /dev/shm/clip.y4m is a file.
#pragma once

#include <string>

#include "command_line/options.h"

// The device a path's last part names ("NUL" for sub/nul.y4m), or "".
std::string WindowsDeviceName(const std::string& path);

// Whether a path names standard input, output or error under another name
// (/dev/stdin, /dev/fd/1, /proc/self/fd/0, CONOUT$, \\.\ paths), where -
// is meant.
bool NamesStandardStream(const std::string& path);

// Whether the name ends in `ending` (lower case), in any case.
bool NameEndsWith(const std::string& path, const char* ending);

// What to use instead of a file filterhost cannot read or write ("input"
// or "output", by `direction`): standard streams under other names, raw
// YUV. "" for any other name.
std::string AdviceForPath(const std::string& path, const char* direction);

// The files a run reads and writes (--input, --output, --before, --cube,
// --precision-report). False with a message for a Windows device name, or
// /dev/null, which says how to discard the output instead.
bool CheckFileNames(const HostOptions& options, std::string* error);
