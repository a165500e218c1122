#pragma once

#include "document/CMorphData.h"
#include "document/CMorphHandle.h"
#include "engine/CMorphCore.h"
#include "platform/CImage.h"

#include <QList>
#include <QString>

#include <memory>

// The frame the engine renders in this process at t for two picture files and
// their pairs, to compare with what a program wrote; null if a picture does
// not load.
inline std::unique_ptr<CImage> RenderedFrame(const QString& source, const QString& target,
                                             const QList<CMorphHandle>& pairs, float t)
{
    CMorphData doc;
    if (!doc.LoadSource(source) || !doc.LoadTarget(target))
        return nullptr;
    for (const CMorphHandle& pair : pairs)
        doc.m_aHandles.Add(pair);
    CMorphCore core;
    core.BuildMesh(&doc);
    auto frame = std::make_unique<CImage>();
    if (!frame->Create(doc.m_pSourceImage->GetWidth(), doc.m_pSourceImage->GetHeight()))
        return nullptr;
    core.RenderFrame(*frame, t);
    return frame;
}
