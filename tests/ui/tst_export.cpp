#include "ChooserAnswers.h"
#include "CursorStack.h"
#include "DataTable.h"
#include "document/CMorphData.h"
#include "engine/CMorphCore.h"
#include "export/CConfigRenbanDlg.h"
#include "export/CExportProgressDlg.h"
#include "export/CSheet_Morph.h"
#include "FailingStep.h"
#include "FakeFfmpeg.h"
#include "FolderTest.h"
#include "MessageRecorder.h"
#include "MorphPage.h"
#include "platform/CExportPath.h"
#include "TestFiles.h"
#include "TestImages.h"
#include "wizard/CDialogTemplate.h"
#include "wizard/CFileChooser.h"
#include "wizard/CMorphApp.h"
#include "wizard/CMorphDlg.h"
#include "wizard/ControlIds.h"
#include "WizardFrame.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <functional>
#include <memory>
#include <optional>

namespace {

const QString kWriteFailed = QStringLiteral("書き出しに失敗しました。\n\n");
const QString kDone = QStringLiteral("書き出しが完了しました。");
const QString kOverwrite = QStringLiteral("以下のファイル等に上書きしてもよろしいですか？\n\n");

std::unique_ptr<CImage> Load(const QString& path)
{
    auto img = std::make_unique<CImage>();
    return img->Load(path) == 0 ? std::move(img) : nullptr;
}

// The wizard on page 131 with a 24 × 16 source and target and one point pair.
struct Wizard : MorphPage
{
    Wizard() : MorphPage(0xA5)
    {
        SetPictures(24, 16);
        doc()->m_aHandles.Add(CMorphHandle{CPoint(8, 5), CPoint(15, 11)});
        dlg.ShowPage(IDD_SHEET_MORPH);
    }
};

// Fills the count dialog (and the frame rate, when given; then anything more
// that more does) once it is up and presses OK, or Cancel for an empty text.
struct CountAnswer
{
    explicit CountAnswer(const QString& text, const QString& fps = QString(),
                         std::function<void(CConfigRenbanDlg*)> more = {})
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this, text, fps, more] {
            auto* dlg = qobject_cast<CConfigRenbanDlg*>(QApplication::activeModalWidget());
            if (!dlg)
                return;
            m_timer.stop();
            shown = true;
            initial = dlg->GetEdit()->text();
            dlg->GetEdit()->setText(text);
            if (!fps.isNull())
                dlg->GetFpsEdit()->setText(fps);
            if (more)
                more(dlg);
            QTest::mouseClick(CDialogTemplate::Find<QPushButton>(dlg, text.isEmpty() ? IDC_CANCEL : IDC_OK),
                              Qt::LeftButton);
        });
        m_timer.start();
    }

    bool shown = false;
    QString initial; // the count the dialog opened with

private:
    QTimer m_timer;
};

// Stops the export by Esc or by the stop button once it shows frame number
// frame (from 1).
struct StopAt
{
    StopAt(int frame, bool esc)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, frame, esc] {
            auto* p = qobject_cast<CExportProgressDlg*>(QApplication::activeModalWidget());
            if (!p || !p->GetText().startsWith(QStringLiteral("%1 / ").arg(frame)))
                return;
            m_timer.stop();
            esc ? QTest::keyClick(p, Qt::Key_Escape)
                : QTest::mouseClick(CDialogTemplate::Find<QPushButton>(p, IDC_CANCEL), Qt::LeftButton);
        });
        if (frame)
            m_timer.start(0);
    }
    QTimer m_timer;
};

QStringList Frames(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

// Every file and folder below folder, recursively.
QStringList AllFiles(const QString& folder)
{
    QStringList list;
    QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        list << it.next();
    list.sort();
    return list;
}

} // namespace

class TestExport : public FolderTest
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir = QTemporaryDir();
        QVERIFY(m_dir.isValid());
    }

    void chooser()
    {
        MessageRecorder recorder;
        Wizard w;
        ChooserAnswers answer{QString()};
        w.ClickExport(IDC_EXPORT_THIS);
        w.ClickExport(IDC_EXPORT_SEQUENCE);
        QCOMPARE(answer.requests.size(), 2);
        for (const CFileChooser::Request& r : answer.requests) {
            QVERIFY(r.bSave);
            QCOMPARE(r.pOwner, static_cast<QWidget*>(&w.dlg));
            QCOMPARE(r.strDefaultExt, QStringLiteral("jpg"));
            QVERIFY(r.strInitialPath.isEmpty());
        }
        // The sequence also offers the video types, after the picture types.
        QCOMPARE(answer.requests[0].strFilter, QStringLiteral("JPEG(*.jpg)|*.jpg|PNG(*.png)|*.png||"));
        QCOMPARE(answer.requests[1].strFilter,
                 QStringLiteral("JPEG(*.jpg)|*.jpg|PNG(*.png)|*.png|MP4 動画(*.mp4)|*.mp4|"
                                "WebM 動画(*.webm)|*.webm|GIF アニメーション(*.gif)|*.gif||"));
        // Cancelled: nothing asked further, shown or written.
        QVERIFY(recorder.boxes.isEmpty());
        QVERIFY(Frames(m_dir.path()).isEmpty());
    }

    // The frame on show goes to the file as it is, in the format of the extension.
    void thisImage_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("magic"); // empty: the write fails
        QTest::addColumn<QString>("reason");   // of the failure
        const QByteArray png("\x89PNG", 4), jpeg("\xFF\xD8\xFF", 3);
        const QString noFormat = QStringLiteral("この拡張子の形式では書き出せません。");
        QTest::newRow("png") << "frame.png" << png << "";
        QTest::newRow("upper-case extension") << "frame.PNG" << png << "";
        QTest::newRow("jpeg") << "frame.jpg" << jpeg << "";
        QTest::newRow("dot in folder only") << "my.dir/frame.png" << png << "";
        QTest::newRow("unknown extension") << "frame.xyz" << QByteArray() << noFormat;
        QTest::newRow("no extension") << "frame" << QByteArray() << noFormat;
        QTest::newRow("extension only in folder") << "my.dir/frame" << QByteArray() << noFormat;
        QTest::newRow("missing folder") << "missing/frame.png" << QByteArray() << "フォルダが見つかりません。";
    }

    void thisImage()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, magic);
        QFETCH(QString, reason);
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("my.dir")));
        MessageRecorder recorder;
        Wizard w;
        // A key's move renders later; the export still writes the slider's position.
        w.page->m_ctlSlider.setValue(170);
        QKeyEvent pageDown(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        QApplication::sendEvent(&w.page->m_ctlSlider, &pageDown);
        const QString path = file(name);
        ChooserAnswers answer(path);
        w.ClickExport(IDC_EXPORT_THIS);
        QFile out(path);
        if (magic.isEmpty()) {
            QCOMPARE(recorder.texts(), QStringList{kWriteFailed + path + "\n" + reason});
            QCOMPARE(recorder.boxes[0].type, unsigned(MB_OK | MB_ICONWARNING));
            QVERIFY(!out.exists());
            return;
        }
        QVERIFY(recorder.boxes.isEmpty());
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(out.read(magic.size()), magic);
        if (magic.startsWith("\x89PNG")) {
            const auto written = Load(path);
            QVERIFY(written);
            QVERIFY(TestImages::SamePixels(*written, w.page->m_imgFrame));
            const auto expected = w.Expected(0.37f);
            QVERIFY(TestImages::SamePixels(*written, *expected));
        }
    }

    // The single export writes under the wait cursor, which its failure
    // message lifts while it is up; the Save chooser comes before it.
    void thisImageWaitCursor()
    {
        QList<QList<int>> atMessage;
        const CMessageBox::Handler previous = CMessageBox::SetHandler([&](const QString&, const QString&, unsigned) {
            atMessage << CursorStack();
            return int(IDOK);
        });
        QList<QList<int>> atChooser;
        const CFileChooser::Handler chooser = CFileChooser::SetHandler([&](const CFileChooser::Request&) {
            atChooser << CursorStack();
            return file(QStringLiteral("missing/frame.png"));
        });
        {
            Wizard w;
            w.ClickExport(IDC_EXPORT_THIS);
        }
        CFileChooser::SetHandler(chooser);
        CMessageBox::SetHandler(previous);
        QCOMPARE(atChooser, QList<QList<int>>{{}});
        QCOMPARE(atMessage, (QList<QList<int>>{{Qt::ArrowCursor, Qt::WaitCursor}}));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    // Count 2: frame 0 is the source picture, frame 1 the target picture.
    void twoFrames()
    {
        MessageRecorder recorder;
        Wizard w;
        ChooserAnswers answer(file("face.png"));
        CountAnswer count(QStringLiteral("2"));
        w.ClickExport(IDC_EXPORT_SEQUENCE);
        QVERIFY(count.shown);
        QCOMPARE(recorder.texts(), QStringList{kDone});
        QCOMPARE(recorder.boxes[0].type, unsigned(MB_OK | MB_ICONINFORMATION));
        QCOMPARE(Frames(m_dir.path()), (QStringList{"face_00000.png", "face_00001.png"}));
        const auto first = Load(file("face_00000.png"));
        const auto last = Load(file("face_00001.png"));
        QVERIFY(first && last);
        QVERIFY(TestImages::SamePixels(*first, *w.dlg.m_pMorphData->m_pSourceImage));
        QVERIFY(TestImages::SamePixels(*last, *w.dlg.m_pMorphData->m_pTargetImage));
        // The next export starts from the count last used; the first from 30.
        QCOMPARE(count.initial, QStringLiteral("30"));
        CountAnswer again{QString()};
        w.ClickExport(IDC_EXPORT_SEQUENCE);
        QCOMPARE(again.initial, QStringLiteral("2"));
    }

    // Frames in order at t = i / (count − 1); the preview and slider stay as they were.
    void evenlySpaced()
    {
        MessageRecorder recorder;
        Wizard w;
        w.page->m_ctlSlider.setValue(300);
        CImage before;
        QVERIFY(before.Create(24, 16));
        for (int y = 0; y < 16; ++y)
            std::copy_n(w.page->m_imgFrame.PixelAddress(0, y), 24 * 3, before.PixelAddress(0, y));

        ChooserAnswers answer(file("seq.png"));
        CountAnswer count(QStringLiteral("7"));
        w.ClickExport(IDC_EXPORT_SEQUENCE);
        QCOMPARE(recorder.texts(), QStringList{kDone});
        QCOMPARE(Frames(m_dir.path()).size(), 7);
        for (int i = 0; i < 7; ++i) {
            const auto written = Load(file(QString::asprintf("seq_%05d.png", i)));
            QVERIFY(written);
            const auto expected = w.Expected((float)((double)i / 6));
            QVERIFY2(TestImages::SamePixels(*written, *expected), qPrintable(QString::number(i)));
        }
        QCOMPARE(w.page->m_ctlSlider.value(), 300);
        QCOMPARE(w.page->m_wndPreview.m_pImage, &w.page->m_imgFrame);
        QVERIFY(TestImages::SamePixels(w.page->m_imgFrame, before));
        QVERIFY(!QGuiApplication::overrideCursor());
        for (const QWidget* top : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<const CExportProgressDlg*>(top) || !top->isVisible());
    }

    // Checksum of a sequence as written before the export job existed.
    void golden()
    {
        MessageRecorder recorder;
        Wizard w;
        ChooserAnswers answer(file("g.png"));
        CountAnswer count(QStringLiteral("5"));
        w.ClickExport(IDC_EXPORT_SEQUENCE);
        QCOMPARE(recorder.texts(), QStringList{kDone});
        QStringList files;
        for (int i = 0; i < 5; ++i)
            files << file(QString::asprintf("g_%05d.png", i));
        QCOMPARE(Frames(m_dir.path()).size(), 5);
        QCOMPARE(FilesChecksum(files), QByteArray("18ef8893c1e18cd9bb865417f3d02d4ff799a965c3b87b70331488d839e8b1c0"));
    }

    void countCancelled()
    {
        MessageRecorder recorder;
        Wizard w;
        ChooserAnswers answer(file("face.png"));
        CountAnswer count{QString()};
        w.ClickExport(IDC_EXPORT_SEQUENCE);
        QVERIFY(count.shown);
        QVERIFY(recorder.boxes.isEmpty());
        QVERIFY(Frames(m_dir.path()).isEmpty());
    }

    // A sequence ends at its first frame that cannot be written, with one
    // message naming it, its reason and the frames kept; a name that cannot
    // be made is refused before anything renders. No file under any other name.
    void failures_data()
    {
        Columns<QString, int, QString>({"name", "frame", "reason"}); // frame -1: refused, naming the last
        const QString longName(256, QLatin1Char('n'));
        const QString noFormat = QStringLiteral("この拡張子の形式では書き出せません。");
        const QString tooLong = QStringLiteral("ファイル名が長すぎます。");
        QTest::newRow("missing folder") << "missing/face.png" << 0 << "フォルダが見つかりません。";
        QTest::newRow("unknown extension") << "face.xyz" << 0 << noFormat;
        QTest::newRow("no extension") << "face" << 0 << noFormat;
        QTest::newRow("dot in folder only") << "my.dir/face" << 0 << noFormat;
        QTest::newRow("base name over 255") << longName + ".png" << -1 << tooLong;
        QTest::newRow("numbered name over 255 bytes") << QString(246, QLatin1Char('n')) + ".png" << -1 << tooLong;
        QTest::newRow("extension over 255") << "face." + longName << -1 << tooLong;
        QTest::newRow("folder over 255") << QString(120, QLatin1Char('a')) + "/" + QString(140, QLatin1Char('b'))
                                                + "/face.png" << -1 << tooLong;
    }

    void failures()
    {
        QFETCH(QString, name);
        QFETCH(int, frame);
        QFETCH(QString, reason);
        const QString path = file(name);
        if (!name.startsWith(QLatin1String("missing/")))
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        const QStringList existing = AllFiles(m_dir.path());

        MessageRecorder recorder;
        Wizard w;
        ChooserAnswers answer(path);
        CountAnswer count(QStringLiteral("3"));
        w.ClickExport(IDC_EXPORT_SEQUENCE);

        const qsizetype dot = QFileInfo(path).fileName().lastIndexOf(QLatin1Char('.'));
        const qsizetype extLength = dot < 0 ? 0 : QFileInfo(path).fileName().size() - dot;
        const QString named = path.left(path.size() - extLength) + QString::asprintf("_%05d", frame < 0 ? 2 : frame)
                              + path.right(extLength);
        QString expected = kWriteFailed + named + "\n" + reason;
        if (frame >= 0)
            expected += QStringLiteral("\n\n書き出しを中止しました。\n\n0 枚のファイルを書き出しました。");
        QCOMPARE(recorder.texts(), QStringList{expected});
        QCOMPARE(recorder.boxes[0].type, unsigned(MB_OK | MB_ICONWARNING));
        QCOMPARE(AllFiles(m_dir.path()), existing);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    // Neither export writes over a loaded picture, also through a link: the
    // message names both files and the picture stays.
    void sameFile_data()
    {
        Columns<int, QString>({"button", "name"});
        QTest::newRow("this image") << int(IDC_EXPORT_THIS) << "link.png";
        QTest::newRow("numbered frame") << int(IDC_EXPORT_SEQUENCE) << "link_00001.png";
    }
    void sameFile()
    {
        QFETCH(int, button);
        QFETCH(QString, name);
        MessageRecorder recorder;
        Wizard w;
        const QString source = file("source.png");
        QCOMPARE(int(w.dlg.m_pMorphData->m_pSourceImage->Save(source)), 0);
        w.dlg.m_pMorphData->m_strSourcePath = source;
        QVERIFY(QFile::link(source, file(name)));
        const QByteArray before = ReadAll(source);
        ChooserAnswers answer(file("link.png"));
        CountAnswer count(QStringLiteral("3"));
        w.ClickExport(button);
        QCOMPARE(recorder.texts(),
                 QStringList{kWriteFailed + file(name) + "\n読み込んだファイル " + source
                             + " と同じファイルです。読み込んだファイルには書き出せません。"});
        QVERIFY(ReadAll(source) == before);
        QCOMPARE(Frames(m_dir.path()), (QStringList{name, "source.png"}));
    }

    // A dot in a folder name is not the extension.
    void dotInFolder()
    {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("my.dir")));
        MessageRecorder recorder;
        Wizard w;
        ChooserAnswers answer(file("my.dir/face.png"));
        CountAnswer count(QStringLiteral("2"));
        w.ClickExport(IDC_EXPORT_SEQUENCE);
        QCOMPARE(recorder.texts(), QStringList{kDone});
        QCOMPARE(Frames(m_dir.path()), QStringList{"my.dir"});
        QCOMPARE(Frames(file("my.dir")), (QStringList{"face_00000.png", "face_00001.png"}));
    }

    // The question names the first numbered name that exists, file or folder;
    // anything but Yes writes nothing.
    void overwrite_data()
    {
        Columns<QStringList, QStringList, int, QString>({"files", "folders", "answer", "named"});
        QTest::newRow("no") << QStringList{"o_00007.png"} << QStringList() << int(IDNO) << "o_00007.png";
        QTest::newRow("yes") << QStringList{"o_00007.png"} << QStringList() << int(IDYES) << "o_00007.png";
        QTest::newRow("first of two") << QStringList{"o_00007.png", "o_00009.png"} << QStringList{"o_00003.png"}
                                      << int(IDNO) << "o_00003.png";
        QTest::newRow("folder, yes") << QStringList() << QStringList{"o_00002.png"} << int(IDYES) << "o_00002.png";
        QTest::newRow("chosen name itself is not asked about")
            << QStringList{"o.png", "o_00010.png"} << QStringList() << int(IDNO) << "";
    }

    void overwrite()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, folders);
        QFETCH(int, answer);
        QFETCH(QString, named);
        for (const QString& name : files) {
            QFile f(file(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old");
        }
        for (const QString& name : folders)
            QVERIFY(QDir(m_dir.path()).mkdir(name));

        MessageRecorder recorder(answer);
        Wizard w;
        ChooserAnswers chooser(file("o.png"));
        CountAnswer count(QStringLiteral("10"));
        w.ClickExport(IDC_EXPORT_SEQUENCE);

        QStringList expected;
        if (!named.isEmpty()) {
            expected << kOverwrite + file(named);
            QCOMPARE(recorder.boxes.value(0).type, unsigned(MB_YESNO | MB_ICONWARNING));
        }
        if (named.isEmpty() || answer == IDYES) {
            // A folder under a numbered name ends the sequence there.
            const int end = folders.isEmpty() ? 10 : folders[0].mid(2, 5).toInt();
            if (folders.isEmpty())
                expected << kDone;
            else
                expected << kWriteFailed + file(folders[0]) + QStringLiteral("\n同じ名前のフォルダがあります。\n\n"
                                                                             "書き出しを中止しました。\n\n%1 枚のファイルを書き出しました。")
                                                                  .arg(end);
            for (int i = end + 1; i < 10; ++i)
                QVERIFY(!QFile::exists(file(QString::asprintf("o_%05d.png", i))));
            for (int i = 0; i < end; ++i) {
                const QString name = QString::asprintf("o_%05d.png", i);
                const auto written = Load(file(name));
                QVERIFY2(written, qPrintable(name));
                QVERIFY(TestImages::SamePixels(*written, *w.Expected((float)((double)i / 9))));
            }
        } else {
            QCOMPARE(Frames(m_dir.path()).size(), files.size() + folders.size());
            for (const QString& name : files) {
                QFile f(file(name));
                QVERIFY(f.open(QIODevice::ReadOnly));
                QCOMPARE(f.readAll(), QByteArray("old"));
            }
        }
        QCOMPARE(recorder.texts(), expected);
    }

    // While frames are written a progress window counts them, and the
    // messages meanwhile show the arrow rather than the wait cursor.
    void progress()
    {
        struct Seen
        {
            QString label;
            int cursor;
            bool ownedByProgress; // so the box is centred over the wizard, not at the screen's corner
        };
        QList<Seen> seen;
        const CMessageBox::Handler previous =
            CMessageBox::SetHandler([&seen](const QString&, const QString&, unsigned) {
                QString label;
                for (QWidget* top : QApplication::topLevelWidgets())
                    if (auto* p = qobject_cast<CExportProgressDlg*>(top); p && p->isVisible())
                        label = p->GetText();
                const QCursor* cursor = QGuiApplication::overrideCursor();
                seen.append({label, cursor ? int(cursor->shape()) : -1,
                             qobject_cast<CExportProgressDlg*>(CMorphApp::MessageOwner()) != nullptr});
                return int(IDOK);
            });
        {
            Wizard w;
            ChooserAnswers answer(file("missing/p.png"));
            CountAnswer count(QStringLiteral("3"));
            w.ClickExport(IDC_EXPORT_SEQUENCE);
        }
        CMessageBox::SetHandler(previous);
        // The one failure (the first frame) ends it; the window names that frame.
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].label, QStringLiteral("1 / 3 枚目を書き出しています..."));
        QCOMPARE(seen[0].cursor, int(Qt::ArrowCursor));
        QVERIFY(seen[0].ownedByProgress);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    // Stopped at frame 3 of 200: the frames handed to the encoders by then
    // are written whole, and the end message counts them.
    void stopSequence()
    {
        MessageRecorder recorder;
        Wizard w;
        ChooserAnswers answer(file("s.png"));
        CountAnswer count(QStringLiteral("200"));
        StopAt stop(3, false);
        w.ClickExport(IDC_EXPORT_SEQUENCE);
        const QStringList written = Frames(m_dir.path());
        QVERIFY(written.size() >= 2 && written.size() < 200);
        QCOMPARE(recorder.texts(),
                 QStringList{QStringLiteral("書き出しを中止しました。\n\n%1 枚のファイルを書き出しました。").arg(written.size())});
        for (int i = 0; i < written.size(); ++i) {
            const auto frame = Load(file(QString::asprintf("s_%05d.png", i)));
            QVERIFY(frame && TestImages::SamePixels(*frame, *w.Expected(float(double(i) / 199))));
        }
    }

    // A video goes through ffmpeg (here a stand-in that keeps the raw frames
    // as the file): one file or, on a failure or a stop, nothing at all.
    void video_data()
    {
        QTest::addColumn<QByteArray>("script"); // empty: no ffmpeg installed
        QTest::addColumn<int>("stopAt");        // frame number at which Esc stops; 0: none
        QTest::addColumn<QString>("reason");    // of the failure; empty: the video is written
        QTest::addColumn<bool>("timing");       // curves and holds set in the count dialog
        QTest::addColumn<int>("openError");     // the error number creating the file fails with; 0: none
        const QByteArray keep =
            "printf '%s\\n' \"$@\" >\"$0.args\"; for a; do out=$a; done; cat >\"${out#file:}\"";
        QTest::newRow("written") << keep << 0 << "" << false << 0;
        QTest::newRow("curves and holds") << keep << 0 << "" << true << 0;
        QTest::newRow("stopped") << keep << 3 << "" << false << 0;
        QTest::newRow("disk full") << QByteArray("cat >/dev/null; echo 'out.mkv: No space left on device' >&2; exit 1")
                                   << 0 << "ディスクの空き容量が不足しています。" << false << 0;
        QTest::newRow("no ffmpeg") << QByteArray() << 0
                                   << "動画と GIF アニメーションの書き出しには ffmpeg が必要ですが、見つかりません。"
                                      "ffmpeg をインストールしてください。"
                                   << false << 0;
        // The errors creating a file gives in practice, each in the wizard's words.
        const struct
        {
            const char* pszTag;
            int nErrno;
            const char* pszReason;
        } creating[] = {
            {"full disk", ENOSPC, "ディスクの空き容量が不足しています。"},
            {"quota", EDQUOT, "ディスクの使用量が上限に達しています。"},
            {"no access", EACCES, "このフォルダに書き込む権限がありません。"},
            {"not permitted", EPERM, "このフォルダに書き込む権限がありません。"},
            {"read-only", EROFS, "読み取り専用の場所には書き込めません。"},
            {"disk error", EIO, "ディスクの読み書きでエラーが発生しました。"},
            {"folder gone", ENOENT, "フォルダが見つかりません。"},
            {"too many open files", EMFILE, "開いているファイルが多すぎます。"},
            {"name too long", ENAMETOOLONG, "ファイル名が長すぎます。"},
            // One without a wording keeps its number and the system's English text.
            {"other error", EXDEV, "ファイルを書き込めません（エラー番号 18: Invalid cross-device link）。"},
        };
        for (const auto& c : creating)
            QTest::newRow(qPrintable(QStringLiteral("cannot create, ") + QLatin1String(c.pszTag)))
                << keep << 0 << QString::fromUtf8(c.pszReason) << false << c.nErrno;
    }
    void video()
    {
        QFETCH(QByteArray, script);
        QFETCH(int, stopAt);
        QFETCH(QString, reason);
        QFETCH(bool, timing);
        QFETCH(int, openError);
        const FakeFfmpeg ffmpeg(file("bin"), script);
        QVERIFY(ffmpeg.ok);
        QVERIFY(QDir().mkpath(file("out")));
        const QString path = file("out/v.mkv");
        MessageRecorder recorder;
        Wizard w;
        ChooserAnswers answer(path);
        CountAnswer count(QStringLiteral("5"), QStringLiteral("12"), [timing](CConfigRenbanDlg* dlg) {
            if (!timing)
                return;
            dlg->GetCurve(false)->setCurrentIndex(CTimingCurve::kEaseInOut);
            dlg->GetCurve(true)->setCurrentIndex(CTimingCurve::kBezier);
            dlg->GetBezier(true)->setText(QStringLiteral("0.1, 0.7, 0.9, 0.2"));
            dlg->GetHold(false)->setText(QStringLiteral("2"));
            dlg->GetHold(true)->setText(QStringLiteral("1"));
        });
        StopAt stop(stopAt, true);
        {
            std::optional<FailingStep> failing;
            if (openError)
                failing.emplace(CAtomicFile::EStep::Open, openError);
            w.ClickExport(IDC_EXPORT_SEQUENCE);
        }
        QCOMPARE(count.shown, !script.isEmpty());
        if (!reason.isEmpty() || stopAt) {
            QCOMPARE(recorder.texts(), reason.isEmpty() ? QStringList() : QStringList{kWriteFailed + path + "\n" + reason});
            QCOMPARE(Frames(file("out")), QStringList());
            return;
        }
        QCOMPARE(recorder.texts(), QStringList{kDone});
        QCOMPARE(Frames(file("out")), QStringList{"v.mkv"});
        QVERIFY(ReadAll(file("bin/ffmpeg.args")).contains("\n-framerate\n12\n"));
        const QByteArray wizard = ReadAll(path);
        QCOMPARE(wizard.size(), (timing ? 8 : 5) * 24 * 16 * 3);
        // The command line gives the same frames of the same pictures and pair.
        CMorphData* doc = w.dlg.m_pMorphData.get();
        QVERIFY(doc->m_pSourceImage->Save(file("a.png")) == 0 && doc->m_pTargetImage->Save(file("b.png")) == 0);
        QFile pairs(file("p.txt"));
        QVERIFY(pairs.open(QIODevice::WriteOnly) && pairs.write("8 5 15 11\n") > 0 && pairs.flush());
        const QStringList curves{"--ease",       "in-out", "--color-ease", "bezier:0.1,0.7,0.9,0.2",
                                 "--hold-start", "2",      "--hold-end",   "1"};
        QCOMPARE(QProcess::execute(QStringLiteral(QUILLAREND_RENDER_PATH),
                                   QStringList{"--source", file("a.png"), "--target", file("b.png"), "--pairs",
                                               file("p.txt"), "--frames", "5", "--fps", "12", "--quiet", "--out",
                                               file("tool.mkv")}
                                       + (timing ? curves : QStringList())),
                 0);
        QVERIFY(ReadAll(file("tool.mkv")) == wizard);
    }
};

QTEST_MAIN(TestExport)
#include "tst_export.moc"
