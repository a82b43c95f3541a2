// A message for the user on standard error, as filterhost says it.
#pragma once

#include <cstdio>
#include <string>

// A line on standard error, shown at once and after everything standard
// output has been given: on a console both are buffered (a console under
// Wine takes UTF-8 only in whole writes; see filterhost.cpp).
inline void SayOnStderr(const std::string& line)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

// An error or a note for the user, after filterhost's name.
inline void TellUser(const std::string& message)
{
    SayOnStderr("filterhost: " + message);
}
