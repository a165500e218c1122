// libFuzzer harness for the points-file reader: any bytes as a points file.
// A read either appends pairs or leaves the list as it was and names the
// file in its reason; the single-line parser agrees with the reader.
#include "document/CPairsFile.h"
#include "MemoryFile.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const MemoryFile file(data, size);
    if (!file.IsOpen())
        return 0;
    CMorphHandleArray handles;
    handles.Add(CMorphHandle{{1, 2}, {3, 4}});
    CReadError error;
    const bool ok = CPairsFile::Load(file.Path(), handles, error);
    if (!ok && (handles.GetSize() != 1 || !error.English().startsWith(file.Path())))
        std::abort();
    if (handles.GetSize() - 1 > CPairsFile::kMaxPairs)
        std::abort();
    CMorphHandle one;
    const char* text = reinterpret_cast<const char*>(data);
    if (CPairsFile::ParseLine(text, text + size, one) && size <= size_t(CPairsFile::kMaxLineBytes)
        && !std::memchr(data, '\n', size) && (!ok || handles.GetSize() > 2))
        std::abort();
    return 0;
}
