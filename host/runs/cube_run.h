// filterhost --cube: the current settings as a 3D LUT, made by the started
// plug-in on a frame holding the lattice.
#pragma once

#include <cstdio>
#include <string>

#include "session/host_session.h"

// Writes the .cube file and reports it (and how many points were clipped)
// on `report`. False with a message when the plug-in fails the frame or
// the file cannot be written.
bool RunCubeExport(HostSession* session, const std::string& path, int size, std::FILE* report,
                   std::string* error);
