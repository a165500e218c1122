// libFuzzer harness for the picture loader: any bytes as a picture file.
// The load must end with a picture of the declared size or a failure with a
// reason, within the memory rule, and without a sanitizer report.
#include "MemoryFile.h"
#include "platform/CImage.h"

#include <QCoreApplication>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // The image format plugins are found through the application object.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const MemoryFile file(data, size);
    if (!file.IsOpen())
        return 0;
    CImage image;
    const CImage::EResult result = image.Load(file.Path());
    if ((result == CImage::kOk) == image.IsNull() || (result != CImage::kOk && CImage::LastError().isEmpty()))
        std::abort();
    if (!image.IsNull() && (image.GetBPP() != 24 || int64_t(image.GetWidth()) * image.GetHeight() > CImage::kMaxPixels))
        std::abort();
    return 0;
}
