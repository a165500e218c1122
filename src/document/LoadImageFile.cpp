#include "document/LoadImageFile.h"

#include "platform/CFailureReason.h"
#include "platform/CMessageBox.h"

std::unique_ptr<CImage> LoadImageFile(const QString& path)
{
    auto image = std::make_unique<CImage>();
    if (const CImage::EResult result = image->Load(path); result < 0) {
        CMessageBox::Show(CFailureReason::LoadFailed(path, CFailureReason::OfImageLoad(result, CImage::LastErrno())),
                          MB_OK | MB_ICONEXCLAMATION);
        return nullptr;
    }
    return image;
}
