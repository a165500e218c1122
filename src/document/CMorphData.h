#pragma once

#include "CHandleHistory.h"
#include "CImage.h"
#include "CMorphHandleArray.h"
#include "CMorphTiming.h"

#include <QString>

#include <functional>
#include <memory>

// The morph document: the two pictures, the paths they came from, the point
// pairs with their undo history, and the pairs as last saved. A path is
// non-empty exactly when its picture is present. A load that fails changes
// nothing; loading another file than the one on show for that side removes
// every pair and the history, the same file again keeps them.
class CMorphData
{
public:
    CMorphData() = default;
    virtual ~CMorphData() = default;
    CMorphData(const CMorphData&) = delete;
    CMorphData& operator=(const CMorphData&) = delete;

    // Loads a picture. When it was read and would remove pairs (another file
    // than the one on show for that side), mayDiscard is asked first, if
    // given; false from it keeps everything as it was. True when loaded.
    bool LoadSource(const QString& path, const std::function<bool()>& mayDiscard = {});
    bool LoadTarget(const QString& path, const std::function<bool()>& mayDiscard = {});

    // Adds a pair at point (both halves equal) when both pictures are loaded,
    // of equal size, and the point lies in [0, width) × [0, height). Missing or
    // mismatched pictures are reported; a point outside is ignored silently.
    void AddHandle(const CPoint& point);
    // The same for a pair whose points differ; both must lie in the pictures.
    void AddPair(const CMorphHandle& pair);
    void RemoveHandle(int32_t index);

    // Replaces both pictures at once, as a project file opens them; the pairs
    // and the history go unless both files are the ones on show.
    void SetPictures(const QString& sourcePath, std::unique_ptr<CImage> source, const QString& targetPath,
                     std::unique_ptr<CImage> target);

    QString GetSourcePath() const { return m_strSourcePath; }
    QString GetTargetPath() const { return m_strTargetPath; }

    // The pairs were written to or read from a points file as they are now.
    void MarkPairsSaved();
    // Pairs exist that differ from those last saved (or were never saved).
    bool HasUnsavedPairs() const;

    // Reports the first missing or mismatched picture (source, target, size)
    // and returns false; true when pairs can be placed.
    bool CheckImages() const;

    // How many points of the pairs lie outside their picture (a source point
    // outside the source picture, a target point outside the target one); a
    // missing picture has every point outside.
    int64_t CountPointsOutside() const;

    CMorphHandleArray m_aHandles;
    CHandleHistory m_history; // every edit of m_aHandles, for undo and redo
    CMorphHandleArray m_aSavedHandles;
    // How sequences, videos and playback pace the morph; kept for the whole run.
    CMorphTiming m_timing;
    QString m_strSourcePath;
    std::unique_ptr<CImage> m_pSourceImage;
    QString m_strTargetPath;
    std::unique_ptr<CImage> m_pTargetImage;

private:
    bool Load(const QString& path, QString& strPath, std::unique_ptr<CImage>& pImage,
              const std::function<bool()>& mayDiscard);
};
