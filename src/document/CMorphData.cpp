#include "CMorphData.h"

#include "CMessageBox.h"
#include "LoadImageFile.h"

bool CMorphData::Load(const QString& path, QString& strPath, std::unique_ptr<CImage>& pImage)
{
    m_aHandles.RemoveAll();
    pImage.reset();
    strPath.clear();
    std::unique_ptr<CImage> image = LoadImageFile(path);
    if (!image)
        return false;
    pImage = std::move(image);
    strPath = path;
    return true;
}

bool CMorphData::LoadSource(const QString& path)
{
    return Load(path, m_strSourcePath, m_pSourceImage);
}

bool CMorphData::LoadTarget(const QString& path)
{
    return Load(path, m_strTargetPath, m_pTargetImage);
}

bool CMorphData::CheckImages() const
{
    if (!m_pSourceImage) {
        CMessageBox::Show(QStringLiteral("元画像が読み込まれていません。"), MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (!m_pTargetImage) {
        CMessageBox::Show(QStringLiteral("変更後の画像が読み込まれていません。"), MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (m_pSourceImage->GetWidth() != m_pTargetImage->GetWidth()
        || m_pSourceImage->GetHeight() != m_pTargetImage->GetHeight()) {
        CMessageBox::Show(QStringLiteral("元画像と変更後の画像サイズが異なります。"), MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}

void CMorphData::AddHandle(const CPoint& point)
{
    if (!CheckImages())
        return;
    if (point.x < 0 || point.y < 0 || point.x >= m_pSourceImage->GetWidth() || point.y >= m_pSourceImage->GetHeight())
        return;
    m_aHandles.Add(CMorphHandle{point, point});
}

void CMorphData::RemoveHandle(int32_t index)
{
    m_aHandles.RemoveAt(index);
}
