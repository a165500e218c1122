#pragma once

#include "CImage.h"
#include "CMorphHandleArray.h"

#include <QString>

#include <memory>

// The morph document: the two pictures, the paths they came from, and the
// point pairs. A path is non-empty exactly when its picture is present, and
// loading either picture removes every pair.
class CMorphData
{
public:
    CMorphData() = default;
    virtual ~CMorphData() = default;
    CMorphData(const CMorphData&) = delete;
    CMorphData& operator=(const CMorphData&) = delete;

    bool LoadSource(const QString& path);
    bool LoadTarget(const QString& path);

    // Adds a pair at point (both halves equal) when both pictures are loaded,
    // of equal size, and the point lies in [0, width) × [0, height). Missing or
    // mismatched pictures are reported; a point outside is ignored silently.
    void AddHandle(const CPoint& point);
    void RemoveHandle(int32_t index);

    QString GetSourcePath() const { return m_strSourcePath; }
    QString GetTargetPath() const { return m_strTargetPath; }

    // Reports the first missing or mismatched picture (source, target, size)
    // and returns false; true when pairs can be placed.
    bool CheckImages() const;

    CMorphHandleArray m_aHandles;
    QString m_strSourcePath;
    std::unique_ptr<CImage> m_pSourceImage;
    QString m_strTargetPath;
    std::unique_ptr<CImage> m_pTargetImage;

private:
    bool Load(const QString& path, QString& strPath, std::unique_ptr<CImage>& pImage);
};
