#pragma once

class QIODevice;

// What a JPEG's segments say beyond what Qt's decoder makes of them: whether
// the picture data is all there.
class CJpegRules
{
public:
    // Whether the segments up to the first scan are whole and an end-of-image
    // marker follows the scan.
    static bool Complete(QIODevice& file);
};
