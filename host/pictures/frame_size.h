// The frame sizes the host hands to a plug-in: its own limit on either side,
// whatever the plug-in's own may be.
#pragma once

#include <string>

constexpr int hostMaxFrameSide = 4096;

// The frame size handed to the plug-in, against the host's limits:
// 1..4096 on each side and width <= maxWidth <= 4096.
bool CheckFrameSize(int width, int height, int maxWidth, std::string* error);
