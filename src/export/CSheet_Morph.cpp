#include "CSheet_Morph.h"

#include "CConfigRenbanDlg.h"
#include "CDialogTemplate.h"
#include "CExportPath.h"
#include "CFileChooser.h"
#include "CMessageBox.h"
#include "CMorphData.h"
#include "CMorphDlg.h"
#include "CSequenceWriter.h"
#include "CWaitCursor.h"
#include "ControlIds.h"

#include <QApplication>
#include <QFileInfo>
#include <QFrame>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>

#include <algorithm>
#include <new>
#include <optional>

namespace {

const char16_t* const kWriteFailed = u"書き出しに失敗しました。\n\n";

// The numbered name of frame index built from the path as it is, for a path
// whose parts are too long to be split: the file name's extension (from its
// last dot on) follows the number.
QString UncutNumberedName(const QString& path, int index)
{
    const QString fileName = QFileInfo(path).fileName();
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const qsizetype extLength = dot < 0 ? 0 : fileName.size() - dot;
    return path.left(path.size() - extLength) + QString::asprintf("_%05d", index) + path.right(extLength);
}

} // namespace

CSheet_Morph::CSheet_Morph(CMorphDlg* pFrame) : CSheet(IDD_SHEET_MORPH, pFrame)
{
    CDialogTemplate dlg(this);
    resize(dlg.Size(kWidthDu, kHeightDu));

    dlg.AddStatic(QStringLiteral("スライダを動かしてモーフィング具合を確認してください。\n\n"
                                 "必要に応じて書き出しを行ってください。"),
                  0, 0, 493, 32);
    const QFrame* place = dlg.AddPlaceholder(IDC_VIEW_PLACE, 0, 32, 411, 288);

    m_ctlSlider.setParent(this);
    dlg.Place(&m_ctlSlider, IDC_SLIDER, 0, 326, 410, 15);
    m_ctlSlider.setRange(0, 1000);

    QPushButton* exportThis =
        dlg.AddButton(IDC_EXPORT_THIS, QStringLiteral("この画像だけ書き出す..."), 414, 32, 76, 14);
    QPushButton* exportSequence =
        dlg.AddButton(IDC_EXPORT_SEQUENCE, QStringLiteral("すべてを連番で書き出す..."), 414, 80, 76, 14);

    m_wndPreview.Create(place->geometry(), this);
    // Keyboard order: the slider, then the two export buttons.
    QWidget::setTabOrder(&m_ctlSlider, exportThis);
    QWidget::setTabOrder(exportThis, exportSequence);

    // Every movement renders: dragging, clicks on the groove, and the keys.
    connect(&m_ctlSlider, &QSlider::actionTriggered, this,
            [this] { m_bUserMove = m_ctlSlider.sliderPosition() != m_ctlSlider.value(); });
    connect(&m_ctlSlider, &QSlider::valueChanged, this, &CSheet_Morph::OnSliderMoved);
    m_tmrPreview.setSingleShot(true);
    m_tmrPreview.setInterval(0);
    // A page that was left renders again when it is entered.
    connect(&m_tmrPreview, &QTimer::timeout, this, [this] {
        if (isVisible())
            UpdatePreview();
    });
    connect(exportThis, &QPushButton::clicked, this, &CSheet_Morph::OnExportThisImage);
    connect(exportSequence, &QPushButton::clicked, this, &CSheet_Morph::OnExportSequence);
}

CSheet_Morph::~CSheet_Morph()
{
    m_wndPreview.m_pImage = nullptr;
}

void CSheet_Morph::OnEnter()
{
    GetFrame()->SetButton(IDC_BACK, QStringLiteral("< 前へ(&B)"), true);
    GetFrame()->SetButton(IDC_NEXT, QStringLiteral("終了"), true);

    CMorphData* pData = GetDocument();
    if (!m_imgFrame.IsNull())
        m_imgFrame.Destroy();
    const CImage& source = *pData->m_pSourceImage;
    const bool created = m_imgFrame.Create(source.GetWidth(), source.GetHeight());

    m_wndPreview.m_pImage = created ? &m_imgFrame : nullptr;
    m_wndPreview.UpdateScrollBars();
    m_wndPreview.Redraw(false);
    m_wndPreview.InvalidateAll();
    if (!created)
        throw std::bad_alloc();

    m_core.BuildMesh(pData);
    UpdatePreview();
}

void CSheet_Morph::OnSliderMoved()
{
    if (m_bUserMove) {
        m_bUserMove = false;
        m_tmrPreview.start();
    } else {
        UpdatePreview();
    }
}

void CSheet_Morph::UpdatePreview()
{
    m_tmrPreview.stop();
    if (m_imgFrame.IsNull())
        return;
    const float t = std::clamp((float)(m_ctlSlider.value() / 1000.0), 0.0f, 1.0f);
    m_core.RenderFrame(m_imgFrame, t);
    m_wndPreview.Redraw(true);
}

void CSheet_Morph::OnNext()
{
    GetFrame()->EndDialog(IDOK);
}

void CSheet_Morph::OnBack()
{
    GetFrame()->ShowPage(IDD_SHEET_HANDLE);
}

QString CSheet_Morph::AskExportPath()
{
    return CFileChooser::GetSaveFileName(GetFrame(), QStringLiteral("jpg"),
                                         QStringLiteral("JPEG(*.jpg)|*.jpg|PNG(*.png)|*.png||"));
}

void CSheet_Morph::OnExportThisImage()
{
    const QString path = AskExportPath();
    if (path.isEmpty())
        return;
    CWaitCursor wait;
    if (m_imgFrame.Save(path) < 0)
        CMessageBox::Show(QString::fromUtf16(kWriteFailed) + path, MB_OK | MB_ICONWARNING);
}

void CSheet_Morph::OnExportSequence()
{
    const QString path = AskExportPath();
    if (path.isEmpty())
        return;
    int count = 0;
    {
        CConfigRenbanDlg dlg(GetFrame());
        if (dlg.exec() != QDialog::Accepted)
            return;
        count = dlg.m_nCount;
    }

    CWaitCursor wait;
    const std::optional<CExportPath> parts = CExportPath::Split(path);
    if (!parts) {
        // A part too long to be split: no name can be built without cutting
        // it, so every frame fails under its full name and nothing is written.
        for (int i = 0; i < count; ++i)
            CMessageBox::Show(QString::fromUtf16(kWriteFailed) + UncutNumberedName(path, i), MB_OK | MB_ICONWARNING);
        CMessageBox::Show(QStringLiteral("書き出しが完了しました。"), MB_OK | MB_ICONINFORMATION);
        return;
    }

    // Asked once, for the first numbered name (file or folder) that exists.
    for (int i = 0; i < count; ++i) {
        const QString name = parts->NumberedName(i);
        if (QFileInfo::exists(name)) {
            const int answer = CMessageBox::Show(
                QStringLiteral("以下のファイル等に上書きしてもよろしいですか？\n\n") + name, MB_YESNO | MB_ICONWARNING);
            if (answer != IDYES)
                return;
            break;
        }
    }

    CImage frame;
    if (!frame.Create(m_imgFrame.GetWidth(), m_imgFrame.GetHeight()))
        throw std::bad_alloc();

    // Shows that the export is alive; it cannot be cancelled.
    QProgressDialog progress(GetFrame(), Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto* bar = new QProgressBar(&progress);
    progress.setBar(bar);
    progress.setCancelButton(nullptr);
    progress.setWindowTitle(CMessageBox::Caption());
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    bar->setRange(0, count);
    progress.show();

    // Encoding a frame takes longer than rendering it, so frames are encoded
    // on worker threads while the next ones render. Results come in frame
    // order, so the failure messages come in the same order as without overlap.
    const auto showFrame = [&](int index) {
        progress.setLabelText(QStringLiteral("%1 / %2 枚目を書き出しています...").arg(index + 1).arg(count));
        bar->setValue(index);
    };
    CSequenceWriter writer(
        CSequenceWriter::DefaultJobs(),
        [](const QImage& image, const QString& name, QString&) { return CImage::SaveQImage(image, name); },
        [&](int index, const QString& name, int result, const QString&) {
            if (result < 0) {
                showFrame(index); // the window names the frame the message is about
                CMessageBox::Show(QString::fromUtf16(kWriteFailed) + name, MB_OK | MB_ICONWARNING);
            }
        });
    for (int i = 0; i < count; ++i) {
        showFrame(i);
        // Paint only: input waits until the export is over.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        const float t = count > 1 ? (float)((double)i / (count - 1)) : 0.0f;
        m_core.RenderFrame(frame, t);
        const QImage image = frame.ToQImage();
        if (image.isNull())
            throw std::bad_alloc();
        writer.Add(i, image, parts->NumberedName(i));
    }
    writer.Finish();
    progress.hide();
    CMessageBox::Show(QStringLiteral("書き出しが完了しました。"), MB_OK | MB_ICONINFORMATION);
}
