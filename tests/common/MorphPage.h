#pragma once

#include "document/CMorphData.h"
#include "engine/CMorphCore.h"
#include "export/CSheet_Morph.h"
#include "TestImages.h"
#include "wizard/CDialogTemplate.h"
#include "wizard/ControlIds.h"
#include "WizardFrame.h"

#include <QPushButton>
#include <QTest>

#include <cstdint>
#include <memory>

// The wizard for tests of page 131: the frame and the page, pictures of the
// pattern (the target XORed with a key, unlike the source at every pixel),
// and the frames an engine of its own renders to compare with the page's.
struct MorphPage
{
    WizardFrame dlg;
    CSheet_Morph* page = static_cast<CSheet_Morph*>(dlg.GetSheet(IDD_SHEET_MORPH));

    explicit MorphPage(uint8_t targetKey) : m_nTargetKey(targetKey) {}

    CMorphData* doc() { return dlg.m_pMorphData.get(); }

    void SetPictures(int w, int h)
    {
        doc()->m_pSourceImage = TestImages::Pattern(w, h);
        doc()->m_pTargetImage = TestImages::PatternXor(w, h, m_nTargetKey);
    }

    std::unique_ptr<CImage> Expected(float t) { return Expected(CMorphTiming::SPosition{t, t}); }

    // The frame at pos rendered by an engine of its own.
    std::unique_ptr<CImage> Expected(CMorphTiming::SPosition pos)
    {
        CMorphCore core;
        core.BuildMesh(doc());
        auto img = std::make_unique<CImage>();
        if (!img->Create(doc()->m_pSourceImage->GetWidth(), doc()->m_pSourceImage->GetHeight()))
            return nullptr;
        core.RenderFrame(*img, pos.fShape, pos.fColor);
        return img;
    }

    void ClickExport(int id) { QTest::mouseClick(CDialogTemplate::Find<QPushButton>(page, id), Qt::LeftButton); }

private:
    uint8_t m_nTargetKey;
};
