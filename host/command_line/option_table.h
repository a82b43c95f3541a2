// filterhost's options, one row each: the names, how the value is read and
// where it goes, what --help says of it and which general checks apply.
// Reading the command line, the option lines of --help and the refusals of
// options that have no say all come from these rows.
#pragma once

#include <string>
#include <vector>

#include "command_line/options.h"

// The parts of --help that list options.
enum class HelpSection { input, settings, run };

// What a run that writes its own output and stops (--table,
// --precision-report, --cube) makes of the option.
enum class InStoppingRun {
    kept,     // it applies there too, or it is such a run
    refused,  // it would have no say
    cube,     // it has a say in the cube only
};

// The inputs and outputs the option is meant for.
enum class Streams {
    any,
    only,  // YUV4MPEG2 input or output only
};

// How often the option is given and with what.
enum class Takes {
    nothing,  // a switch; given again it changes nothing
    once,     // one value, and the option at most once
    each,     // a value each time (a track, a check box)
};

// Reads a value (none for a switch) into the options. `name` is the option
// as written, for the message; false with the message.
using ReadValue = bool (*)(const std::string& name, const std::string& value, HostOptions* options,
                           std::string* error);

struct OptionRow {
    HelpSection section;
    const char* shortName;  // "-i", or ""
    const char* name;       // "--input"
    const char* valueName;  // the value as --help names it ("FILE"); "" for a switch
    Takes takes;
    ReadValue read;
    InStoppingRun inStoppingRun;
    Streams streams;
    const char* help;  // --help's lines, without their indent, each ending in \n
};

// By section, in the order a refusal names them; --help shows the settings
// before the run.
const std::vector<OptionRow>& OptionTable();

// How names are compared: without blanks, in lower case, so that
// " R( gamm ) " is R(gamm).
std::string LowercaseWithoutBlanks(const std::string& text);

// The row of "-i" or "--input", or null.
const OptionRow* FindOption(const std::string& name);
