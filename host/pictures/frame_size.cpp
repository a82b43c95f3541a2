#include "pictures/frame_size.h"

bool CheckFrameSize(int width, int height, int maxWidth, std::string* error)
{
    std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (width < 1 || height < 1) {
        *error = "frame size " + size + " is empty";
        return false;
    }
    if (width > hostMaxFrameSide || height > hostMaxFrameSide) {
        *error = "frame size " + size + " is over the host's limit of 4096x4096";
        return false;
    }
    if (maxWidth < width || maxWidth > hostMaxFrameSide) {
        *error = "max width " + std::to_string(maxWidth) + " must lie between the width " +
                 std::to_string(width) + " and 4096";
        return false;
    }
    return true;
}
