#include "DataTable.h"
#include "document/CMorphData.h"
#include "document/CPairsFile.h"
#include "engine/CMorphCore.h"
#include "export/CSheet_Morph.h"
#include "MessageRecorder.h"
#include "MorphPage.h"
#include "TestImages.h"
#include "WindowInput.h"
#include "wizard/CDialogTemplate.h"
#include "wizard/CMorphDlg.h"
#include "wizard/ControlIds.h"
#include "WizardFrame.h"

#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include <memory>

namespace {

// The wizard on page 131 with w × h pictures and one point pair.
struct Wizard : MorphPage
{
    explicit Wizard(int w = 40, int h = 30, bool samples = false) : MorphPage(0x5A)
    {
        if (samples) {
            doc()->LoadSource(QStringLiteral(QUILLAREND_SAMPLES_DIR "/source.png"));
            doc()->LoadTarget(QStringLiteral(QUILLAREND_SAMPLES_DIR "/target.png"));
            CReadError error;
            CPairsFile::Load(QStringLiteral(QUILLAREND_SAMPLES_DIR "/pairs.txt"), doc()->m_aHandles, error);
        } else {
            SetPictures(w, h);
            doc()->m_aHandles.Add(CMorphHandle{CPoint(10, 8), CPoint(25, 20)});
        }
        dlg.show();
        dlg.ShowPage(IDD_SHEET_MORPH);
    }

    // Whether the page shows export frame i.
    bool ShowsFrame(int64_t i) { return TestImages::SamePixels(page->m_imgFrame, *Expected(doc()->m_timing.Frame(i))); }

    // A sequence of holdStart + count + holdEnd frames, the page on export frame start.
    void SetSequence(int holdStart, int count, int holdEnd, int64_t start)
    {
        doc()->m_timing.m_nHoldStart = holdStart;
        doc()->m_timing.m_nCount = count;
        doc()->m_timing.m_nHoldEnd = holdEnd;
        page->GoToFrame(start);
        page->ShowLatestFrame();
    }

    bool Activate()
    {
        dlg.activateWindow();
        return QTest::qWaitForWindowActive(&dlg);
    }

    // Whether the view's window shows the frame picture pixel for pixel.
    bool ViewShowsFrame()
    {
        const QImage screen = page->m_wndPreview.grab().toImage();
        const CRect where = page->m_wndPreview.GetImageRect();
        const QPoint origin = page->m_wndPreview.GetClientOrigin();
        const CImage& frame = page->m_imgFrame;
        const CRect& client = page->m_wndPreview.m_rcClient;
        for (int y = 0; y < frame.GetHeight(); ++y)
            for (int x = 0; x < frame.GetWidth(); ++x) {
                const int cx = where.left + x, cy = where.top + y;
                if (cx < 0 || cy < 0 || cx >= client.Width() || cy >= client.Height())
                    continue;
                const uint8_t* p = frame.PixelAddress(x, y);
                if (screen.pixel(origin.x() + cx, origin.y() + cy) != qRgb(p[2], p[1], p[0]))
                    return false;
            }
        return true;
    }

    // Whether the view's window shows frame at the view's zoom (100 % and
    // above) wherever the picture lies in the client area, above the zoom's
    // label.
    bool ViewShows(const CImage& frame)
    {
        CImageScrollWnd& view = page->m_wndPreview;
        const QImage screen = view.grab().toImage();
        const CRect where = view.GetImageRect();
        const QPoint origin = view.GetClientOrigin();
        const int label = view.GetZoom() == 100 ? 0 : QFontMetrics(view.font()).height() + 4;
        for (int cy = std::max(0, where.top); cy < std::min(view.m_rcClient.Height() - label, where.bottom); ++cy)
            for (int cx = std::max(0, where.left); cx < std::min(view.m_rcClient.Width(), where.right); ++cx) {
                const uint8_t* p = frame.PixelAddress(int32_t(view.Zoom().ClientToPicture(cx, where.left)),
                                                      int32_t(view.Zoom().ClientToPicture(cy, where.top)));
                if (screen.pixel(origin.x() + cx, origin.y() + cy) != qRgb(p[2], p[1], p[0]))
                    return false;
            }
        return true;
    }

    // The user moves the slider to position p.
    void UserMove(int p)
    {
        page->m_bUserMove = true;
        page->m_ctlSlider.setValue(p);
    }
};

// The rectangle rc of picture.
std::unique_ptr<CImage> Part(const CImage& picture, const CRect& rc)
{
    return TestImages::Painted(rc.Width(), rc.Height(), [&](int32_t x, int32_t y, uint8_t* p) {
        const uint8_t* q = picture.PixelAddress(rc.left + x, rc.top + y);
        p[0] = q[0];
        p[1] = q[1];
        p[2] = q[2];
    });
}

} // namespace

class TestSheetMorph : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void controls()
    {
        Wizard w;
        CSheet_Morph* page = w.page;
        const QLabel* text = nullptr;
        for (const QLabel* label : page->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
            if (!text)
                text = label;
        QVERIFY(text);
        QCOMPARE(text->text(), QStringLiteral("スライダを動かしてモーフィング具合を確認してください。\n\n"
                                              "必要に応じて書き出しを行ってください。"));
        QCOMPARE(CDialogTemplate::Find<QPushButton>(page, IDC_EXPORT_THIS)->text(),
                 QStringLiteral("この画像だけ書き出す..."));
        QCOMPARE(CDialogTemplate::Find<QPushButton>(page, IDC_EXPORT_SEQUENCE)->text(),
                 QStringLiteral("すべてを連番で書き出す..."));
        QSlider* slider = CDialogTemplate::Find<QSlider>(page, IDC_SLIDER);
        QCOMPARE(slider, &page->m_ctlSlider);
        QCOMPARE(slider->orientation(), Qt::Horizontal);
        QCOMPARE(slider->minimum(), 0);
        QCOMPARE(slider->maximum(), 1000);
        QCOMPARE(slider->singleStep(), 1);
        QCOMPARE(slider->pageStep(), 200);
        QCOMPARE(slider->tickPosition(), QSlider::NoTicks);
        QVERIFY(slider->focusPolicy() & Qt::TabFocus);
        // The view lies over the placeholder, which stays hidden.
        const QFrame* place = CDialogTemplate::Find<QFrame>(page, IDC_VIEW_PLACE);
        QVERIFY(place && !place->isVisible());
        QCOMPARE(page->m_wndPreview.parentWidget(), static_cast<QWidget*>(page));
        QCOMPARE(page->m_wndPreview.geometry(), place->geometry());
    }

    void firstEntry()
    {
        Wizard w;
        QCOMPARE(w.dlg.GetCurSheet(), static_cast<CSheet*>(w.page));
        QCOMPARE(w.dlg.GetButton(IDC_BACK)->text(), QStringLiteral("< 前へ(&B)"));
        QCOMPARE(w.dlg.GetButton(IDC_NEXT)->text(), QStringLiteral("終了"));
        QVERIFY(w.dlg.GetButton(IDC_BACK)->isEnabled());
        QVERIFY(w.dlg.GetButton(IDC_NEXT)->isEnabled());
        QCOMPARE(w.page->m_ctlSlider.value(), 0);
        QCOMPARE(w.page->m_wndPreview.m_pImage, &w.page->m_imgFrame);
        QVERIFY(TestImages::SamePixels(w.page->m_imgFrame, *w.doc()->m_pSourceImage));
        QVERIFY(w.ViewShowsFrame());
    }

    void position_data()
    {
        QTest::addColumn<int>("position");
        QTest::newRow("0") << 0;
        QTest::newRow("1") << 1;
        QTest::newRow("500") << 500;
        QTest::newRow("999") << 999;
        QTest::newRow("1000") << 1000;
    }

    // Position p shows the frame at t = p / 1000, and the view follows at once.
    void position()
    {
        QFETCH(int, position);
        Wizard w;
        w.page->m_ctlSlider.setValue(position);
        QVERIFY(TestImages::SamePixels(w.page->m_imgFrame, *w.Expected((float)(position / 1000.0))));
        QVERIFY(w.ViewShowsFrame());
        if (position == 1000)
            QVERIFY(TestImages::SamePixels(w.page->m_imgFrame, *w.doc()->m_pTargetImage));
    }

    void keys_data()
    {
        Columns<int, int, int, int>({"start", "key", "presses", "expected"});
        // Right, Down and Page Down towards 1000; Left, Up and Page Up towards 0.
        QTest::newRow("right") << 0 << int(Qt::Key_Right) << 1 << 1;
        QTest::newRow("right at 1000") << 1000 << int(Qt::Key_Right) << 1 << 1000;
        QTest::newRow("left") << 500 << int(Qt::Key_Left) << 1 << 499;
        QTest::newRow("left at 0") << 0 << int(Qt::Key_Left) << 1 << 0;
        QTest::newRow("up") << 10 << int(Qt::Key_Up) << 1 << 9;
        QTest::newRow("down") << 10 << int(Qt::Key_Down) << 1 << 11;
        QTest::newRow("page up") << 500 << int(Qt::Key_PageUp) << 1 << 300;
        QTest::newRow("page up at 100") << 100 << int(Qt::Key_PageUp) << 1 << 0;
        QTest::newRow("page down") << 0 << int(Qt::Key_PageDown) << 1 << 200;
        QTest::newRow("page down at 900") << 900 << int(Qt::Key_PageDown) << 1 << 1000;
        QTest::newRow("home") << 700 << int(Qt::Key_Home) << 1 << 0;
        QTest::newRow("end") << 0 << int(Qt::Key_End) << 1 << 1000;
        // Presses waiting behind a frame all move the slider; one frame follows.
        QTest::newRow("right held") << 0 << int(Qt::Key_Right) << 5 << 5;
        QTest::newRow("page up held") << 1000 << int(Qt::Key_PageUp) << 3 << 400;
    }

    // Keys move the slider at once; the frame at the latest position follows
    // when the waiting input has been handled.
    void keys()
    {
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(int, presses);
        QFETCH(int, expected);
        Wizard w;
        QSlider& slider = w.page->m_ctlSlider;
        slider.setValue(start);
        slider.setFocus();
        const auto before = w.Expected((float)(start / 1000.0));
        for (int i = 0; i < presses; ++i) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(), i > 0);
            QApplication::sendEvent(&slider, &press);
        }
        QCOMPARE(slider.value(), expected);
        QVERIFY(TestImages::SamePixels(w.page->m_imgFrame, *before));
        QTRY_VERIFY(TestImages::SamePixels(w.page->m_imgFrame, *w.Expected((float)(expected / 1000.0))));
        QVERIFY(w.ViewShowsFrame());
    }

    // The preview takes the context-menu event of a right click, so the
    // frame's menu does not open over it.
    void rightClickOnPreviewOpensNoMenu()
    {
        Wizard w;
        QVERIFY(QTest::qWaitForWindowExposed(&w.dlg));
        const EventCounter menus(&w.page->m_wndPreview, QEvent::ContextMenu);
        const PopupWatch popups;
        WindowClick(&w.page->m_wndPreview, Qt::RightButton, QPoint(30, 30));
        QTest::qWait(1);
        QCOMPARE(menus.count, 1);
        QCOMPARE(popups.count, 0);
    }

    // Dragging the thumb renders the latest position once the waiting moves
    // have been handled, and the frame ends at the final position.
    void drag()
    {
        Wizard w;
        QSlider& slider = w.page->m_ctlSlider;
        QStyleOptionSlider option;
        option.initFrom(&slider);
        option.orientation = slider.orientation();
        option.minimum = slider.minimum();
        option.maximum = slider.maximum();
        option.sliderPosition = option.sliderValue = slider.value();
        option.subControls = QStyle::SC_All;
        const QRect handle = slider.style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider);
        QPoint at = handle.center();
        QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, at);
        int previous = 0;
        for (int step = 0; step < 3; ++step) {
            at.rx() += slider.width() / 5;
            QMouseEvent move(QEvent::MouseMove, at, slider.mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(&slider, &move);
            QVERIFY(slider.value() > previous);
            const auto shown = w.Expected((float)(previous / 1000.0));
            previous = slider.value();
            QVERIFY(TestImages::SamePixels(w.page->m_imgFrame, *shown));
            QTRY_VERIFY(TestImages::SamePixels(w.page->m_imgFrame, *w.Expected((float)(previous / 1000.0))));
            QVERIFY(w.ViewShowsFrame());
        }
        at.setX(slider.width() + 50);
        QMouseEvent move(QEvent::MouseMove, at, slider.mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&slider, &move);
        QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(slider.value(), 1000);
        QTRY_VERIFY(TestImages::SamePixels(w.page->m_imgFrame, *w.doc()->m_pTargetImage));
    }

    // While the user moves the slider or the morph plays, only what the view
    // shows renders: below 100 % a draft at the view's scale that looks like
    // the whole frame shrunk, at 100 % and above the visible rectangle of the
    // frame, byte for byte; scrolling or zooming renders what comes into
    // view. Once the moves stop (the slider's rest, the thumb's release, an
    // export, or playback's pause) the exact whole frame replaces it.
    void partWhileMoving_data()
    {
        Columns<int, int, QString>({"zoom", "seed", "stop"});
        QTest::newRow("25 %, pause") << 25 << 1 << "pause";
        QTest::newRow("33 %, release") << 33 << 2 << "release";
        QTest::newRow("50 %, export") << 50 << 3 << "export";
        QTest::newRow("67 %, pause") << 67 << 4 << "pause";
        QTest::newRow("100 %, release") << 100 << 5 << "release";
        QTest::newRow("100 %, export") << 100 << 6 << "export";
        QTest::newRow("150 %, pause") << 150 << 7 << "pause";
        QTest::newRow("300 %, export") << 300 << 8 << "export";
        QTest::newRow("800 %, release") << 800 << 9 << "release";
        QTest::newRow("25 %, playing") << 25 << 10 << "play";
        QTest::newRow("200 %, playing") << 200 << 11 << "play";
    }
    void partWhileMoving()
    {
        QFETCH(int, zoom);
        QFETCH(int, seed);
        QFETCH(QString, stop);
        Wizard w(0, 0, true);
        CSheet_Morph* page = w.page;
        CImageScrollWnd& view = page->m_wndPreview;
        QVERIFY(!page->m_imgFrame.IsNull());
        page->m_tmSettle.setInterval(3'600'000); // the part stays until the test stops the moves
        QRandomGenerator random{uint32_t(seed)};
        const auto scrollAnywhere = [&] {
            for (QScrollBar* bar : {view.GetScrollBar(Qt::Horizontal), view.GetScrollBar(Qt::Vertical)})
                bar->setValue(random.bounded(bar->maximum() + 1));
        };
        view.SetZoom(zoom, view.ClientCentre());
        scrollAnywhere();
        const auto atRest = w.Expected(0.0f);
        const int p = 100 + random.bounded(800);
        const bool play = stop == "play";
        // Playing: 9 frames at 25 fps, the clock half a frame into frame 5.
        int64_t now = 5 * 40'000'000ll + 20'000'000ll;
        if (play) {
            page->m_fnClock = [&] { return now; };
            w.SetSequence(0, 9, 0, 0);
            now = 0;
        }
        const auto expected = play ? w.Expected(w.doc()->m_timing.Frame(5)) : w.Expected(float(p / 1000.0));
        // Playing shows frame 0 first, and then frame 5.
        qint64 shownKey = -1;
        QObject watch;
        QObject::connect(page, &CSheet_Morph::FrameShown, &watch, [&](qint64 key) { shownKey = key; });
        // What the view shows now is the part of the frame at p it needs.
        const auto showsPart = [&] {
            if (!view.HasDraft() || (play && shownKey != 5))
                return false;
            const CRect where = view.GetImageRect();
            if (zoom < 100)
                return page->m_imgDraft.GetWidth() == where.Width() && page->m_imgDraft.GetHeight() == where.Height();
            return TestImages::SamePixels(page->m_imgDraft, *Part(*expected, view.VisiblePictureRect()));
        };
        if (play) {
            page->Play();
            now = 5 * 40'000'000ll + 20'000'000ll;
            page->OnPlayTick();
        } else {
            w.UserMove(p);
        }
        QTRY_VERIFY(showsPart());
        QVERIFY(TestImages::SamePixels(page->m_imgFrame, *atRest));
        if (zoom < 100) {
            auto shrunk = TestImages::Shrunk(*expected, page->m_imgDraft.GetWidth(), page->m_imgDraft.GetHeight());
            const double psnr = TestImages::Psnr(*shrunk, page->m_imgDraft);
            QVERIFY2(psnr >= 35.0, qPrintable(QStringLiteral("%1 dB").arg(psnr)));
            view.SetZoom(zoom == 25 ? 33 : 25, view.ClientCentre());
            zoom = view.GetZoom();
        } else {
            QVERIFY(w.ViewShows(*expected));
            scrollAnywhere();
        }
        QTRY_VERIFY(showsPart());
        QVERIFY(TestImages::SamePixels(page->m_imgFrame, *atRest));
        if (zoom >= 100)
            QVERIFY(w.ViewShows(*expected));

        if (stop == "pause") {
            page->m_tmSettle.setInterval(10);
            w.UserMove(p); // the same place: the pause starts again
        } else if (play) {
            QVERIFY(page->IsPlaying());
            page->m_tmSettle.setInterval(10);
            page->Pause();
        } else if (stop == "release") {
            Q_EMIT page->m_ctlSlider.sliderReleased();
        } else {
            page->ShowLatestFrame();
            QVERIFY(TestImages::SamePixels(page->m_imgFrame, *expected));
        }
        QTRY_VERIFY(!view.HasDraft());
        QVERIFY(TestImages::SamePixels(page->m_imgFrame, *expected));
        if (zoom >= 100)
            QVERIFY(w.ViewShows(*expected));
    }

    // Going back, changing the points and coming again: the mesh is built
    // anew and the frame at the kept slider position shows the change.
    void reentryRebuildsMesh()
    {
        Wizard w;
        w.page->m_ctlSlider.setValue(500);
        const auto before = w.Expected(0.5f);
        QVERIFY(TestImages::SamePixels(w.page->m_imgFrame, *before));
        QTest::mouseClick(w.dlg.GetButton(IDC_BACK), Qt::LeftButton);
        QCOMPARE(w.dlg.GetCurSheet(), w.dlg.GetSheet(IDD_SHEET_HANDLE));
        w.doc()->m_aHandles.ElementAt(0).m_ptTarget = CPoint(5, 25);
        QTest::mouseClick(w.dlg.GetButton(IDC_NEXT), Qt::LeftButton);
        QCOMPARE(w.dlg.GetCurSheet(), static_cast<CSheet*>(w.page));
        QCOMPARE(w.page->m_ctlSlider.value(), 500);
        const auto after = w.Expected(0.5f);
        QVERIFY(!TestImages::SamePixels(*before, *after));
        QVERIFY(TestImages::SamePixels(w.page->m_imgFrame, *after));
        QVERIFY(w.ViewShowsFrame());
    }

    // Other pictures: the frame takes their size and the view's bars follow.
    void newSize_data()
    {
        Columns<int, int>({"width", "height"});
        QTest::newRow("wider than the view") << 2000 << 20;
        QTest::newRow("taller than the view") << 30 << 1500;
        QTest::newRow("small") << 7 << 5;
    }

    void newSize()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        Wizard w;
        w.page->m_ctlSlider.setValue(250);
        QTest::mouseClick(w.dlg.GetButton(IDC_BACK), Qt::LeftButton);
        w.SetPictures(width, height);
        w.doc()->m_aHandles.RemoveAll();
        w.doc()->m_aHandles.Add(CMorphHandle{CPoint(width / 2, height / 2), CPoint(width / 3, height / 3)});
        QTest::mouseClick(w.dlg.GetButton(IDC_NEXT), Qt::LeftButton);
        QCOMPARE(w.page->m_imgFrame.GetWidth(), width);
        QCOMPARE(w.page->m_imgFrame.GetHeight(), height);
        const CRect& client = w.page->m_wndPreview.m_rcClient;
        const QScrollBar* h = w.page->m_wndPreview.GetScrollBar(Qt::Horizontal);
        const QScrollBar* v = w.page->m_wndPreview.GetScrollBar(Qt::Vertical);
        QCOMPARE(h->maximum(), std::max(0, width - client.Width()));
        QCOMPARE(v->maximum(), std::max(0, height - client.Height()));
        QVERIFY(TestImages::SamePixels(w.page->m_imgFrame, *w.Expected(0.25f)));
        QVERIFY(w.ViewShowsFrame());
    }

    // A scrolled view keeps its place when the page is entered again.
    void scrollKept()
    {
        Wizard w(1500, 900);
        QScrollBar* h = w.page->m_wndPreview.GetScrollBar(Qt::Horizontal);
        QScrollBar* v = w.page->m_wndPreview.GetScrollBar(Qt::Vertical);
        h->setValue(300);
        v->setValue(200);
        QTest::mouseClick(w.dlg.GetButton(IDC_BACK), Qt::LeftButton);
        QTest::mouseClick(w.dlg.GetButton(IDC_NEXT), Qt::LeftButton);
        QCOMPARE(h->value(), 300);
        QCOMPARE(v->value(), 200);
        QCOMPARE(w.page->m_wndPreview.GetImageRect().left, -300);
        QVERIFY(w.ViewShowsFrame());
    }

    void playKeys_data()
    {
        Columns<QList<int>, qint64, int, int, int, qint64, QString>(
            {"sequence", "start", "focus", "key", "presses", "frame", "readOut"});
        const QList<int> five{0, 5, 0}, holds{2, 5, 3};
        const int ctrlRight = (Qt::CTRL | Qt::Key_Right).toCombined(), ctrlLeft = (Qt::CTRL | Qt::Key_Left).toCombined();
        QTest::newRow("next, slider focused") << five << 0ll << int(IDC_SLIDER) << ctrlRight << 1 << 1ll
                                              << "フレーム 2 / 5 ・ 25.0 %";
        QTest::newRow("period twice, button focused")
            << five << 0ll << int(IDC_EXPORT_THIS) << int(Qt::Key_Period) << 2 << 2ll << "フレーム 3 / 5 ・ 50.0 %";
        QTest::newRow("previous at the first") << five << 0ll << int(IDC_SLIDER) << ctrlLeft << 1 << 0ll
                                               << "フレーム 1 / 5 ・ 0.0 %";
        QTest::newRow("comma") << five << 3ll << int(IDC_PLAY) << int(Qt::Key_Comma) << 1 << 2ll
                               << "フレーム 3 / 5 ・ 50.0 %";
        QTest::newRow("last") << five << 1ll << int(IDC_SLIDER) << (Qt::CTRL | Qt::Key_End).toCombined() << 1 << 4ll
                              << "フレーム 5 / 5 ・ 100.0 %";
        QTest::newRow("first") << five << 3ll << int(IDC_LOOP) << (Qt::CTRL | Qt::Key_Home).toCombined() << 1 << 0ll
                               << "フレーム 1 / 5 ・ 0.0 %";
        QTest::newRow("next past the last") << five << 4ll << int(IDC_SLIDER) << ctrlRight << 1 << 4ll
                                            << "フレーム 5 / 5 ・ 100.0 %";
        QTest::newRow("next in the start holds") << holds << 0ll << int(IDC_SLIDER) << ctrlRight << 1 << 1ll
                                                 << "フレーム 2 / 10 ・ 0.0 %";
        QTest::newRow("out of the holds") << holds << 1ll << int(IDC_SLIDER) << ctrlRight << 2 << 3ll
                                          << "フレーム 4 / 10 ・ 25.0 %";
        QTest::newRow("into the end holds") << holds << 6ll << int(IDC_SLIDER) << ctrlRight << 2 << 8ll
                                            << "フレーム 9 / 10 ・ 100.0 %";
        QTest::newRow("default timing") << QList<int>{0, 30, 0} << 10ll << int(IDC_SLIDER) << ctrlRight << 1 << 11ll
                                        << "フレーム 12 / 30 ・ 37.9 %";
    }

    // The step keys work wherever the focus is on the page and show the
    // export frame, with the thumb at its time and the read-out naming it.
    void playKeys()
    {
        QFETCH(QList<int>, sequence);
        QFETCH(qint64, start);
        QFETCH(int, focus);
        QFETCH(int, key);
        QFETCH(int, presses);
        QFETCH(qint64, frame);
        QFETCH(QString, readOut);
        Wizard w;
        QVERIFY(w.Activate());
        w.SetSequence(sequence[0], sequence[1], sequence[2], start);
        QWidget* focused = CDialogTemplate::Find(w.page, focus);
        focused->setFocus();
        const QKeyCombination combination = QKeyCombination::fromCombined(key);
        for (int i = 0; i < presses; ++i)
            QTest::keyClick(focused, combination.key(), combination.keyboardModifiers());
        w.page->ShowLatestFrame();
        QVERIFY(w.ShowsFrame(frame));
        QCOMPARE(w.page->ReadOut(), readOut);
        QCOMPARE(CDialogTemplate::Find<QLabel>(w.page, IDC_FRAME_READOUT)->text(), readOut);
        const CMorphTiming& timing = w.doc()->m_timing;
        const int64_t j = std::clamp<int64_t>(frame - timing.m_nHoldStart, 0, timing.m_nCount - 1);
        QCOMPARE(w.page->m_ctlSlider.value(), int(std::lround(j * 1000.0 / (timing.m_nCount - 1))));
    }

    // Space plays and pauses, except on a focused button, which it clicks.
    void space_data()
    {
        Columns<int, int, bool, qint64>({"focus", "presses", "playing", "frame"});
        QTest::newRow("slider") << int(IDC_SLIDER) << 1 << true << 0ll;
        QTest::newRow("slider, twice") << int(IDC_SLIDER) << 2 << false << 0ll;
        QTest::newRow("next-frame button") << int(IDC_NEXT_FRAME) << 1 << false << 1ll;
        QTest::newRow("play button") << int(IDC_PLAY) << 1 << true << 0ll;
    }

    void space()
    {
        QFETCH(int, focus);
        QFETCH(int, presses);
        QFETCH(bool, playing);
        QFETCH(qint64, frame);
        Wizard w;
        QVERIFY(w.Activate());
        int64_t now = 0;
        w.page->m_fnClock = [&] { return now; };
        QWidget* focused = CDialogTemplate::Find(w.page, focus);
        focused->setFocus();
        for (int i = 0; i < presses; ++i)
            QTest::keyClick(focused, Qt::Key_Space);
        QCOMPARE(w.page->IsPlaying(), playing);
        w.page->Pause();
        w.page->ShowLatestFrame();
        QVERIFY(w.ShowsFrame(frame));
        QCOMPARE(CDialogTemplate::Find<QPushButton>(w.page, IDC_PLAY)->text(), QStringLiteral("再生"));
    }

    void loopModes_data()
    {
        Columns<int, qint64, int, QList<qint64>, bool>({"mode", "start", "advance", "shown", "playing"});
        const int once = CSheet_Morph::kOnce, loop = CSheet_Morph::kLoop, bounce = CSheet_Morph::kBounce;
        // Jumps of the clock skip the frames in between: none of them shows.
        QTest::newRow("once, midway") << once << 0ll << 2 << QList<qint64>{2} << true;
        QTest::newRow("once, at the end") << once << 0ll << 4 << QList<qint64>{4} << false;
        QTest::newRow("once, past the end") << once << 1ll << 9 << QList<qint64>{4} << false;
        QTest::newRow("once, from the end starts again") << once << 4ll << 1 << QList<qint64>{1} << true;
        QTest::newRow("loop, wraps to the first") << loop << 0ll << 5 << QList<qint64>{} << true;
        QTest::newRow("loop, past the wrap") << loop << 3ll << 3 << QList<qint64>{1} << true;
        QTest::newRow("loop, from the end") << loop << 4ll << 1 << QList<qint64>{0} << true;
        QTest::newRow("bounce, at the end") << bounce << 0ll << 4 << QList<qint64>{4} << true;
        QTest::newRow("bounce, coming back") << bounce << 0ll << 5 << QList<qint64>{3} << true;
        QTest::newRow("bounce, back at the first") << bounce << 1ll << 7 << QList<qint64>{0} << true;
        QTest::newRow("bounce, forth again") << bounce << 2ll << 7 << QList<qint64>{1} << true;
    }

    // Playback with a clock of the test's: 5 frames at 25 fps, the clock
    // moved on by whole frames plus half a frame.
    void loopModes()
    {
        QFETCH(int, mode);
        QFETCH(qint64, start);
        QFETCH(int, advance);
        QFETCH(QList<qint64>, shown);
        QFETCH(bool, playing);
        Wizard w;
        int64_t now = 0;
        w.page->m_fnClock = [&] { return now; };
        w.SetSequence(0, 5, 0, start);
        CDialogTemplate::Find<QComboBox>(w.page, IDC_LOOP)->setCurrentIndex(mode);
        w.page->Play();
        QVERIFY(w.page->IsPlaying());
        // Played to the end, "once" starts again from the first frame.
        QTRY_VERIFY(w.ShowsFrame(mode == CSheet_Morph::kOnce && start == 4 ? 0 : start));
        QSignalSpy spy(w.page, &CSheet_Morph::FrameShown);
        now = advance * 40'000'000ll + 20'000'000ll;
        w.page->OnPlayTick();
        const qint64 last = shown.isEmpty() ? start : shown.last();
        QTRY_VERIFY(w.ShowsFrame(last));
        QTest::qWait(5);
        QList<qint64> keys;
        for (const QList<QVariant>& args : spy)
            keys << args[0].toLongLong();
        QCOMPARE(keys, shown);
        QCOMPARE(w.page->IsPlaying(), playing);
        QCOMPARE(w.page->m_ctlSlider.value(), int(last * 250));
        QCOMPARE(CDialogTemplate::Find<QPushButton>(w.page, IDC_PLAY)->text(),
                 playing ? QStringLiteral("一時停止") : QStringLiteral("再生"));
    }

    // Taking the thumb while playing pauses.
    void thumbPausesPlay()
    {
        Wizard w;
        w.page->Play();
        QVERIFY(w.page->IsPlaying());
        QTest::mousePress(&w.page->m_ctlSlider, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QVERIFY(!w.page->IsPlaying());
        QTest::mouseRelease(&w.page->m_ctlSlider, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    }

    void goTo_data()
    {
        Columns<QString, int, QString>({"text", "position", "readOut"});
        const QString unchanged = QStringLiteral("フレーム 1 / 30 ・ 0.0 %");
        QTest::newRow("frame number") << "3" << 69 << "フレーム 3 / 30 ・ 6.9 %";
        QTest::newRow("last frame") << " 30 " << 1000 << "フレーム 30 / 30 ・ 100.0 %";
        QTest::newRow("percentage") << "22.4 %" << 224 << "フレーム 7 / 30 ・ 22.4 %";
        QTest::newRow("percentage, no space") << "50%" << 500 << "フレーム 16 / 30 ・ 50.0 %";
        QTest::newRow("full-width percent sign") << "100％" << 1000 << "フレーム 30 / 30 ・ 100.0 %";
        QTest::newRow("frame 0") << "0" << 0 << unchanged;
        QTest::newRow("past the last") << "31" << 0 << unchanged;
        QTest::newRow("over 100 %") << "100.1 %" << 0 << unchanged;
        QTest::newRow("negative percentage") << "-5 %" << 0 << unchanged;
        QTest::newRow("words") << "abc" << 0 << unchanged;
        QTest::newRow("percent sign alone") << "%" << 0 << unchanged;
    }

    // Typed into the box and Enter: a frame number or a percentage goes
    // there; anything else changes nothing.
    void goTo()
    {
        QFETCH(QString, text);
        QFETCH(int, position);
        QFETCH(QString, readOut);
        Wizard w;
        QVERIFY(w.Activate());
        QLineEdit* box = CDialogTemplate::Find<QLineEdit>(w.page, IDC_GO_TO_FRAME);
        QTest::keyClick(&w.page->m_ctlSlider, Qt::Key_G, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), box);
        // Typed where the keys allow it: "." and "," stay in the box.
        if (text.toLatin1() == text.toUtf8())
            QTest::keyClicks(box, text);
        else
            box->insert(text);
        QCOMPARE(box->text(), text);
        QTest::keyClick(box, Qt::Key_Return);
        w.page->ShowLatestFrame();
        QCOMPARE(w.page->m_ctlSlider.value(), position);
        QCOMPARE(w.page->ReadOut(), readOut);
    }

    // The wizard destroyed while a frame renders: the worker ends before the
    // document it reads goes; a sanitizer build reports a read after the free.
    void destroyedWhileRendering()
    {
        auto w = std::make_unique<Wizard>(1500, 1000);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
        QApplication::sendEvent(&w->page->m_ctlSlider, &press);
        w.reset();
    }

    void finish()
    {
        Wizard w;
        w.doc()->MarkPairsSaved();
        QTest::mouseClick(w.dlg.GetButton(IDC_NEXT), Qt::LeftButton);
        QCOMPARE(w.dlg.result(), int(IDOK));
        QVERIFY(!w.dlg.isVisible());
    }
};

QTEST_MAIN(TestSheetMorph)
#include "tst_sheet_morph.moc"
