#pragma once

#include <QByteArray>

class QIODevice;

// What a TIFF's first directory says beyond what Qt's decoder makes of it:
// unassociated alpha, which the decoder multiplies into the colours.
class CTiffRules
{
public:
    // Copies the file into copy with its ExtraSamples value turned from
    // unassociated to unspecified alpha; false, and copy left alone, when the
    // file has no unassociated alpha.
    static bool WithoutUnassociatedAlpha(QIODevice& file, QByteArray& copy);
};
