#include "LoadImageFile.h"

#include "CMessageBox.h"

std::unique_ptr<CImage> LoadImageFile(const QString& path)
{
    auto image = std::make_unique<CImage>();
    if (image->Load(path) < 0) {
        CMessageBox::Show(QStringLiteral("画像の読み込みに失敗しました。"), MB_OK | MB_ICONEXCLAMATION);
        return nullptr;
    }
    return image;
}
