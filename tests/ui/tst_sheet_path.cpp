#include "ChooserAnswers.h"
#include "CursorStack.h"
#include "DataTable.h"
#include "MessageRecorder.h"
#include "TestImages.h"
#include "wizard/CDialogTemplate.h"
#include "wizard/CFileChooser.h"
#include "wizard/CImagePreviewWnd.h"
#include "wizard/CMorphDlg.h"
#include "wizard/ControlIds.h"
#include "wizard/CSheet_Path.h"
#include "WizardFrame.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <utility>

namespace {

const QString kNoSource = QStringLiteral("元画像が読み込まれていません。");
const QString kNoTarget = QStringLiteral("変更後の画像が読み込まれていません。");
const QString kSizeDiffers = QStringLiteral("元画像と変更後の画像サイズが異なります。");
const QString kFilter = QStringLiteral("画像ファイル(bmp, jpg, png)|*.bmp;*.jpg;*.png||");

// Both sides of the page, so tests can run once per side.
struct Side
{
    int nBrowse;
    int nEdit;
    CImagePreviewWnd CSheet_Path::*pPreview;
    std::unique_ptr<CImage> CMorphData::*pImage;
    QString CMorphData::*pPath;
};

const Side kSource{IDC_BROWSE_SOURCE, IDC_EDIT_SOURCE, &CSheet_Path::m_wndSrcPreview, &CMorphData::m_pSourceImage,
                   &CMorphData::m_strSourcePath};
const Side kTarget{IDC_BROWSE_TARGET, IDC_EDIT_TARGET, &CSheet_Path::m_wndDstPreview, &CMorphData::m_pTargetImage,
                   &CMorphData::m_strTargetPath};

bool SameBuffer(const CImagePreviewWnd& a, const CImage& b)
{
    return TestImages::SamePixels(a.GetBuffer(), b);
}

std::unique_ptr<CImage> CopyOf(const CImage& image)
{
    auto copy = std::make_unique<CImage>();
    copy->FromQImage(image.ToQImage());
    return copy;
}

} // namespace

class TestSheetPath : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString Picture(int w, int h)
    {
        const QString path = m_dir.filePath(QStringLiteral("pattern_%1x%2.png").arg(w).arg(h));
        if (!QFile::exists(path))
            TestImages::WritePattern(path, w, h);
        return path;
    }

    static CSheet_Path* Page(const CMorphDlg& dlg)
    {
        return static_cast<CSheet_Path*>(dlg.GetSheet(IDD_SHEET_PATH));
    }

    static void Browse(CMorphDlg& dlg, const Side& side)
    {
        QTest::mouseClick(CDialogTemplate::Find<QPushButton>(Page(dlg), side.nBrowse), Qt::LeftButton);
    }

    static void Next(CMorphDlg& dlg) { QTest::mouseClick(dlg.GetButton(IDC_NEXT), Qt::LeftButton); }
    static void Back(CMorphDlg& dlg) { QTest::mouseClick(dlg.GetButton(IDC_BACK), Qt::LeftButton); }

    static QString PathText(const CMorphDlg& dlg, const Side& side)
    {
        return CDialogTemplate::Find<QLineEdit>(Page(dlg), side.nEdit)->text();
    }

    static void AddSides()
    {
        QTest::addColumn<int>("side");
        QTest::newRow("source") << 0;
        QTest::newRow("target") << 1;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void firstPageAndButtons()
    {
        WizardFrame dlg;
        dlg.show();
        QCOMPARE(dlg.GetCurSheet(), Page(dlg));
        QVERIFY(!dlg.GetButton(IDC_BACK)->isEnabled());
        QCOMPARE(dlg.GetButton(IDC_BACK)->text(), QStringLiteral("< 前へ(&B)"));
        QVERIFY(dlg.GetButton(IDC_NEXT)->isEnabled());
        QCOMPARE(dlg.GetButton(IDC_NEXT)->text(), QStringLiteral("次へ(&N) >"));
        for (const int id : {IDC_EDIT_SOURCE, IDC_EDIT_TARGET}) {
            const QLineEdit* edit = CDialogTemplate::Find<QLineEdit>(Page(dlg), id);
            QVERIFY(edit->isReadOnly());
            QVERIFY(edit->text().isEmpty());
        }
        // Each preview lies over its own placeholder, which stays hidden.
        const CSheet_Path* page = Page(dlg);
        const QWidget* sourcePlace = CDialogTemplate::Find(page, IDC_SOURCE_PREVIEW_PLACE);
        const QWidget* targetPlace = CDialogTemplate::Find(page, IDC_TARGET_PREVIEW_PLACE);
        QCOMPARE(page->m_wndSrcPreview.geometry(), sourcePlace->geometry());
        QCOMPARE(page->m_wndDstPreview.geometry(), targetPlace->geometry());
        QVERIFY(sourcePlace->geometry().bottom() < targetPlace->geometry().top());
        QVERIFY(page->m_wndSrcPreview.isVisible() && page->m_wndDstPreview.isVisible());
        QVERIFY(sourcePlace->isHidden() && targetPlace->isHidden());
    }

    void refusals_data()
    {
        QTest::addColumn<QSize>("source"); // empty: not loaded
        Columns<QSize, QString>({"target", "message"});
        QTest::newRow("nothing") << QSize() << QSize() << kNoSource;
        QTest::newRow("target only") << QSize() << QSize(40, 30) << kNoSource;
        QTest::newRow("source only") << QSize(40, 30) << QSize() << kNoTarget;
        QTest::newRow("widths differ") << QSize(40, 30) << QSize(41, 30) << kSizeDiffers;
        QTest::newRow("heights differ") << QSize(40, 30) << QSize(40, 31) << kSizeDiffers;
    }

    void refusals()
    {
        QFETCH(QSize, source);
        QFETCH(QSize, target);
        QFETCH(QString, message);
        WizardFrame dlg;
        dlg.show();
        ChooserAnswers chooser;
        MessageRecorder messages;
        if (source.isValid()) {
            chooser.paths << Picture(source.width(), source.height());
            Browse(dlg, kSource);
        }
        if (target.isValid()) {
            chooser.paths << Picture(target.width(), target.height());
            Browse(dlg, kTarget);
        }
        QVERIFY(messages.boxes.isEmpty());
        Next(dlg);
        QCOMPARE(messages.texts(), QStringList{message});
        QCOMPARE(messages.boxes[0].type, unsigned(MB_OK | MB_ICONEXCLAMATION));
        QCOMPARE(dlg.GetCurSheet(), Page(dlg));
    }

    void equalSizesGoOn()
    {
        WizardFrame dlg;
        dlg.show();
        ChooserAnswers chooser;
        MessageRecorder messages;
        chooser.paths << Picture(40, 30) << Picture(40, 30);
        Browse(dlg, kSource);
        Browse(dlg, kTarget);
        // With no target path yet, its chooser opens in the source's folder.
        QCOMPARE(chooser.requests[1].strInitialFolder, QFileInfo(Picture(40, 30)).absolutePath());
        Next(dlg);
        QVERIFY(messages.boxes.isEmpty());
        QCOMPARE(dlg.GetCurSheet()->GetId(), int(IDD_SHEET_HANDLE));
    }

    // The chooser gets the filter and the frame, and the second time the first path.
    void browseShowsPathAndPicture_data() { AddSides(); }
    void browseShowsPathAndPicture()
    {
        QFETCH(int, side);
        const Side& s = side == 0 ? kSource : kTarget;
        const Side& other = side == 0 ? kTarget : kSource;
        WizardFrame dlg;
        dlg.show();
        ChooserAnswers chooser;
        const QString first = Picture(100, 50), second = Picture(60, 80);
        chooser.paths << first << second;
        Browse(dlg, s);
        QCOMPARE(chooser.requests.size(), 1);
        QCOMPARE(chooser.requests[0].strInitialPath, QString());
        QCOMPARE(chooser.requests[0].strFilter, kFilter);
        QCOMPARE(chooser.requests[0].pOwner, &dlg);
        QVERIFY(!chooser.requests[0].bSave);
        QCOMPARE(PathText(dlg, s), first);
        QCOMPARE(PathText(dlg, other), QString());

        // The picture, unscaled, in the middle of this side's preview; the other stays blank.
        const CImage& buffer = (Page(dlg)->*s.pPreview).GetBuffer();
        QVERIFY(buffer.GetWidth() >= 100 && buffer.GetHeight() >= 50);
        const int32_t left = (buffer.GetWidth() - 100) / 2, top = (buffer.GetHeight() - 50) / 2;
        const auto picture = TestImages::Pattern(100, 50);
        for (const auto& [x, y] : {std::pair{0, 0}, {99, 0}, {0, 49}, {99, 49}, {37, 21}})
            QVERIFY(std::equal(picture->PixelAddress(x, y), picture->PixelAddress(x, y) + 3,
                               buffer.PixelAddress(left + x, top + y)));
        const CImage& blank = (Page(dlg)->*other.pPreview).GetBuffer();
        QVERIFY(!std::equal(blank.PixelAddress(left + 37, top + 21), blank.PixelAddress(left + 37, top + 21) + 3,
                            picture->PixelAddress(37, 21)));

        Browse(dlg, s);
        QCOMPARE(chooser.requests.size(), 2);
        QCOMPARE(chooser.requests[1].strInitialPath, first);
        QCOMPARE(PathText(dlg, s), second);
    }

    void cancelChangesNothing_data() { AddSides(); }
    void cancelChangesNothing()
    {
        QFETCH(int, side);
        const Side& s = side == 0 ? kSource : kTarget;
        WizardFrame dlg;
        dlg.show();
        ChooserAnswers chooser;
        MessageRecorder messages;
        const QString path = Picture(40, 30);
        chooser.paths << path << path;
        Browse(dlg, kSource);
        Browse(dlg, kTarget);
        CMorphData& doc = *dlg.m_pMorphData;
        doc.AddHandle(CPoint(1, 2));
        doc.AddHandle(CPoint(3, 4));
        const CImage* image = (doc.*s.pImage).get();
        const auto shown = CopyOf((Page(dlg)->*s.pPreview).GetBuffer());

        Browse(dlg, s); // no answer queued: cancelled
        QCOMPARE(chooser.requests.size(), 3);
        QCOMPARE(PathText(dlg, s), path);
        QVERIFY(SameBuffer(Page(dlg)->*s.pPreview, *shown));
        QCOMPARE((doc.*s.pImage).get(), image);
        QCOMPARE(doc.*s.pPath, path);
        QCOMPARE(doc.m_aHandles.GetSize(), 2);
        QVERIFY(messages.boxes.isEmpty());
    }

    // A file that fails to load: the page keeps the old path and picture, the
    // document has none, and next reports the missing picture.
    // Loading runs under the wait cursor; its failure message gets the arrow
    // over it while the box is up, and nothing is left over afterwards.
    void loadingShowsWaitCursor_data() { AddSides(); }
    void loadingShowsWaitCursor()
    {
        QFETCH(int, side);
        const Side& s = side == 0 ? kSource : kTarget;
        WizardFrame dlg;
        dlg.show();
        ChooserAnswers chooser;
        QList<QList<int>> atMessage;
        const CMessageBox::Handler previous = CMessageBox::SetHandler([&](const QString&, const QString&, unsigned) {
            atMessage << CursorStack();
            return int(IDOK);
        });
        QList<QList<int>> atPathShown;
        connect(CDialogTemplate::Find<QLineEdit>(Page(dlg), s.nEdit), &QLineEdit::textChanged, this,
                [&] { atPathShown << CursorStack(); });
        const QString bad = m_dir.filePath(QStringLiteral("broken-wait.png"));
        {
            QFile file(bad);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not a picture");
        }
        chooser.paths << Picture(40, 30) << bad;
        Browse(dlg, s);
        Browse(dlg, s);
        CMessageBox::SetHandler(previous);
        QCOMPARE(atPathShown, (QList<QList<int>>{{Qt::WaitCursor}}));
        QCOMPARE(atMessage, (QList<QList<int>>{{Qt::ArrowCursor, Qt::WaitCursor}}));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    // The introduction is one static that wraps, as page 130's does.
    void introductionWraps()
    {
        WizardFrame dlg;
        const QList<QLabel*> labels = Page(dlg)->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
        const auto intro = std::find_if(labels.begin(), labels.end(),
                                        [](const QLabel* l) { return l->text().startsWith(u"［参照］"); });
        QVERIFY(intro != labels.end());
        QVERIFY((*intro)->wordWrap());
        QCOMPARE((*intro)->textFormat(), Qt::PlainText);
    }

    // A file that fails to load changes nothing: path, preview, picture and pairs stay.
    void failedLoadKeepsOldPath_data() { AddSides(); }
    void failedLoadKeepsOldPath()
    {
        QFETCH(int, side);
        const Side& s = side == 0 ? kSource : kTarget;
        WizardFrame dlg;
        dlg.show();
        ChooserAnswers chooser;
        MessageRecorder messages(IDYES);
        const QString good = Picture(40, 30);
        const QString bad = m_dir.filePath(QStringLiteral("broken.png"));
        {
            QFile file(bad);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not a picture");
        }
        chooser.paths << good << good << bad;
        Browse(dlg, kSource);
        Browse(dlg, kTarget);
        dlg.m_pMorphData->AddHandle(CPoint(1, 2));
        const CImage* image = (dlg.m_pMorphData.get()->*s.pImage).get();
        const auto shown = CopyOf((Page(dlg)->*s.pPreview).GetBuffer());

        Browse(dlg, s);
        QCOMPARE(messages.texts(), QStringList{LoadFailedMessage(bad, kNotAPicture)}); // nothing asked before
        QCOMPARE(PathText(dlg, s), good);
        QVERIFY(SameBuffer(Page(dlg)->*s.pPreview, *shown));
        QCOMPARE((dlg.m_pMorphData.get()->*s.pImage).get(), image);
        QCOMPARE(dlg.m_pMorphData->m_aHandles.GetSize(), 1);

        messages.clear();
        Next(dlg);
        QVERIFY(messages.boxes.isEmpty());
        QCOMPARE(dlg.GetCurSheet()->GetId(), int(IDD_SHEET_HANDLE));
        Back(dlg);
        Browse(dlg, s);
        QCOMPARE(chooser.requests.last().strInitialPath, good);
    }

    // Going back from page 130 and choosing a picture: the same file keeps
    // the pairs; another one asks first and loses them only on Yes.
    void newPictureDiscardsPairs_data()
    {
        Columns<int, bool>({"side", "sameFile"});
        QTest::addColumn<int>("answer"); // 0: no question
        QTest::addColumn<int>("pairs");
        QTest::newRow("target, same file") << 1 << true << 0 << 3;
        QTest::newRow("source, other file, no") << 0 << false << int(IDNO) << 3;
        QTest::newRow("target, other file, no") << 1 << false << int(IDNO) << 3;
        QTest::newRow("source, other file, yes") << 0 << false << int(IDYES) << 0;
    }
    void newPictureDiscardsPairs()
    {
        QFETCH(int, side);
        QFETCH(bool, sameFile);
        QFETCH(int, answer);
        QFETCH(int, pairs);
        const Side& s = side == 0 ? kSource : kTarget;
        WizardFrame dlg;
        dlg.show();
        ChooserAnswers chooser;
        MessageRecorder messages(answer);
        const QString path = Picture(40, 30), other = m_dir.filePath(QStringLiteral("other.png"));
        QVERIFY(QFile::exists(other) || QFile::copy(path, other));
        chooser.paths << path << path;
        Browse(dlg, kSource);
        Browse(dlg, kTarget);
        Next(dlg);
        QCOMPARE(dlg.GetCurSheet()->GetId(), int(IDD_SHEET_HANDLE));
        CMorphData& doc = *dlg.m_pMorphData;
        doc.AddHandle(CPoint(1, 1));
        doc.AddHandle(CPoint(5, 5));
        doc.AddHandle(CPoint(9, 9));

        Back(dlg);
        QCOMPARE(dlg.GetCurSheet(), Page(dlg));
        QVERIFY(!dlg.GetButton(IDC_BACK)->isEnabled());
        QCOMPARE(doc.m_aHandles.GetSize(), 3);
        chooser.paths << (sameFile ? path : other);
        Browse(dlg, s);
        QCOMPARE(doc.m_aHandles.GetSize(), pairs);
        QCOMPARE(PathText(dlg, s), answer == IDYES ? other : path);
        QCOMPARE(messages.boxes.size(), answer ? 1 : 0);
        if (answer)
            QCOMPARE(messages.boxes[0].type, unsigned(MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION));
        Next(dlg);
        QCOMPARE(dlg.GetCurSheet()->GetId(), int(IDD_SHEET_HANDLE));
    }
};

QTEST_MAIN(TestSheetPath)
#include "tst_sheet_path.moc"
