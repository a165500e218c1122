#pragma once

#include <QByteArray>

class QIODevice;

// What a PNG's chunks say beyond what Qt's decoder makes of them: a colour key
// (a tRNS chunk of a grey or RGB picture) would make its pixels load black.
class CPngRules
{
public:
    // Copies the file without its colour key into copy; false, and copy left
    // alone, when it has none.
    static bool WithoutColourKey(QIODevice& file, QByteArray& copy);
};
