// Where the commands filterhost prints find the project and the user's
// files, as a Unix shell names them: absolute, so that they work pasted in
// any folder.
#pragma once

#include <string>

#include "command_line/video_recipe.h"

// The Unix path of a Windows one (Z:\home\clip.mp4 is /home/clip.mp4),
// through Wine's own mapping of drives; the Windows path where there is
// no Wine.
std::string UnixPathOf(const std::wstring& windowsPath);

// scripts/run of the project whose build filterhost.exe comes from
// (PROJECT/build/win32/bin/filterhost.exe), or, for a copy that lies
// elsewhere, wine and the program itself; files by their absolute paths.
RecipePlaces HostRecipePlaces();
