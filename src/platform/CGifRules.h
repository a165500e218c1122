#pragma once

class QIODevice;

// What a GIF's blocks say beyond what Qt's decoder makes of them: whether the
// first picture's data is all there.
class CGifRules
{
public:
    // Whether the file holds the whole first picture; a trailer before any
    // picture or a damaged block is left to the decoder (true).
    static bool FirstPictureComplete(QIODevice& file);
};
