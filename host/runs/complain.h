// A message for the user on standard error, as filterhost says it.
#pragma once

#include <cstdio>
#include <string>

inline void Complain(const std::string& message)
{
    std::fprintf(stderr, "filterhost: %s\n", message.c_str());
}
