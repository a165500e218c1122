#pragma once

#include "platform/CImage.h"

#include <QString>

#include <memory>

// Decodes an image file into a 24-bit picture of the file's size. On failure
// the user is told "画像の読み込みに失敗しました。", the file and the reason in
// Japanese (CFailureReason),
// and null is returned.
std::unique_ptr<CImage> LoadImageFile(const QString& path);
