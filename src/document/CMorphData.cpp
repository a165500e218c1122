#include "CMorphData.h"

#include "CMessageBox.h"
#include "LoadImageFile.h"

#include <QFileInfo>

namespace {

bool SameFile(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

} // namespace

bool CMorphData::Load(const QString& path, QString& strPath, std::unique_ptr<CImage>& pImage,
                      const std::function<bool()>& mayDiscard)
{
    // The old picture stays until the new one is read, so a failure keeps it.
    std::unique_ptr<CImage> image = LoadImageFile(path);
    if (!image)
        return false;
    if (!SameFile(strPath, path)) {
        if (!m_aHandles.IsEmpty() && mayDiscard && !mayDiscard())
            return false;
        m_aHandles.RemoveAll();
        m_history.Clear();
    }
    pImage = std::move(image);
    strPath = path;
    return true;
}

void CMorphData::SetPictures(const QString& sourcePath, std::unique_ptr<CImage> source, const QString& targetPath,
                             std::unique_ptr<CImage> target)
{
    if (!SameFile(m_strSourcePath, sourcePath) || !SameFile(m_strTargetPath, targetPath)) {
        m_aHandles.RemoveAll();
        m_history.Clear();
    }
    m_pSourceImage = std::move(source);
    m_strSourcePath = sourcePath;
    m_pTargetImage = std::move(target);
    m_strTargetPath = targetPath;
}

void CMorphData::MarkPairsSaved()
{
    m_aSavedHandles = m_aHandles;
}

bool CMorphData::HasUnsavedPairs() const
{
    return !m_aHandles.IsEmpty() && !(m_aHandles == m_aSavedHandles);
}

bool CMorphData::LoadSource(const QString& path, const std::function<bool()>& mayDiscard)
{
    return Load(path, m_strSourcePath, m_pSourceImage, mayDiscard);
}

bool CMorphData::LoadTarget(const QString& path, const std::function<bool()>& mayDiscard)
{
    return Load(path, m_strTargetPath, m_pTargetImage, mayDiscard);
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
    AddPair(CMorphHandle{point, point});
}

void CMorphData::AddPair(const CMorphHandle& pair)
{
    if (!CheckImages())
        return;
    const auto inside = [this](const CPoint& p) {
        return p.x >= 0 && p.y >= 0 && p.x < m_pSourceImage->GetWidth() && p.y < m_pSourceImage->GetHeight();
    };
    if (!inside(pair.m_ptSource) || !inside(pair.m_ptTarget))
        return;
    m_history.Add(m_aHandles, pair);
}

void CMorphData::RemoveHandle(int32_t index)
{
    m_history.Remove(m_aHandles, index);
}

int64_t CMorphData::CountPointsOutside() const
{
    const auto outside = [](const CPoint& p, const std::unique_ptr<CImage>& image) {
        return !image || p.x < 0 || p.y < 0 || p.x >= image->GetWidth() || p.y >= image->GetHeight();
    };
    int64_t count = 0;
    for (int32_t i = 0; i < m_aHandles.GetSize(); ++i)
        count += int64_t(outside(m_aHandles[i].m_ptSource, m_pSourceImage))
                 + int64_t(outside(m_aHandles[i].m_ptTarget, m_pTargetImage));
    return count;
}
