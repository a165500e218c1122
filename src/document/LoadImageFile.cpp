#include "LoadImageFile.h"

#include "CMessageBox.h"

#include <QDir>

std::unique_ptr<CImage> LoadImageFile(const QString& path)
{
    auto image = std::make_unique<CImage>();
    if (image->Load(path) < 0) {
        CMessageBox::Show(QStringLiteral("画像の読み込みに失敗しました。\n\n%1\n%2")
                              .arg(QDir::toNativeSeparators(path), CImage::LastError()),
                          MB_OK | MB_ICONEXCLAMATION);
        return nullptr;
    }
    return image;
}
