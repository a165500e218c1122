#include "CCommandKeys.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QShortcut>
#include <QStringList>
#include <QWidget>

const QList<CCommandKeys::SRow>& CCommandKeys::Rows()
{
    constexpr unsigned editor = kEditor, both = kEditor | kPreview;
    constexpr unsigned editorPage = kEditor | kPageWide, bothPage = both | kPageWide;
    static const QList<SRow> rows = {
        {AddPair, editor, {}, u"クリック", u"ポイントを追加"},
        {DragPair, editor, {}, u"ドラッグ", u"ポイントを移動（右クリックで取り消し）"},
        {ErasePair, editor, {}, u"右クリック", u"ポイントを削除"},
        {Nudge,
         editor,
         {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::SHIFT | Qt::Key_Left, Qt::SHIFT | Qt::Key_Right,
          Qt::SHIFT | Qt::Key_Up, Qt::SHIFT | Qt::Key_Down},
         u"矢印キー",
         u"選択中のポイントを 1 ピクセル移動（Shift で 10 ピクセル）"},
        {DeletePair, editor, {Qt::Key_Delete}, u"Delete", u"選択中のポイントを削除"},
        {SelectPrevious, editor, {Qt::Key_PageUp}, u"Page Up / Page Down", u"前 / 次のポイントを選択"},
        {SelectNext, editor, {Qt::Key_PageDown}, nullptr, nullptr},
        // "+" is "=" without Shift on many layouts.
        {ZoomIn, bothPage, {Qt::CTRL | Qt::Key_Plus, Qt::CTRL | Qt::Key_Equal}, u"Ctrl+ホイール、Ctrl++ / Ctrl+−",
         u"拡大・縮小"},
        {ZoomOut, bothPage, {Qt::CTRL | Qt::Key_Minus}, nullptr, nullptr},
        {ZoomActual, bothPage, {Qt::CTRL | Qt::Key_0}, u"Ctrl+0", u"100 % に戻す"},
        {ZoomFit, bothPage, {Qt::CTRL | Qt::Key_9}, u"Ctrl+9", u"全体を表示"},
        {Undo, editorPage, {Qt::CTRL | Qt::Key_Z}, u"Ctrl+Z", u"元に戻す"},
        {Redo, editorPage, {Qt::CTRL | Qt::Key_Y, Qt::CTRL | Qt::SHIFT | Qt::Key_Z}, u"Ctrl+Y / Ctrl+Shift+Z",
         u"やり直す"},
        {SavePairs, editorPage, {Qt::CTRL | Qt::Key_S}, u"Ctrl+S", u"ポイントを保存"},
        {LoadPairs, editorPage, {Qt::CTRL | Qt::Key_O}, u"Ctrl+O", u"ポイントを読み込む"},
        {MatchPartner, editorPage, {Qt::CTRL | Qt::Key_M}, u"Ctrl+M",
         u"合わせる: 選択中のポイントの相手を画像から探して移動"},
        {FindPairs, editorPage, {Qt::CTRL | Qt::Key_F}, u"Ctrl+F", u"自動で点を置く"},
        {AutoMatch, editorPage, {Qt::CTRL | Qt::SHIFT | Qt::Key_M}, u"Ctrl+Shift+M",
         u"追加したポイントを自動で合わせる（切り替え）"},
        {ShowNumbers, editorPage, {Qt::CTRL | Qt::Key_1}, u"Ctrl+1 … Ctrl+5",
         u"表示の切り替え: 番号 / 相手 / 選択の強調 / メッシュ / 裏返る三角形"},
        {ShowPartner, editorPage, {Qt::CTRL | Qt::Key_2}, nullptr, nullptr},
        {ShowSelection, editorPage, {Qt::CTRL | Qt::Key_3}, nullptr, nullptr},
        {ShowMesh, editorPage, {Qt::CTRL | Qt::Key_4}, nullptr, nullptr},
        {ShowTurned, editorPage, {Qt::CTRL | Qt::Key_5}, nullptr, nullptr},
    };
    // Playback keys work wherever the focus is on page 131; a focused button
    // keeps Space, and the frame-number box its editing keys.
    constexpr unsigned previewPage = kPreview | kPageWide;
    static const QList<SRow> playback = {
        {PlayPause, previewPage, {Qt::Key_Space}, u"Space", u"再生 / 一時停止"},
        {FirstFrame, previewPage, {Qt::CTRL | Qt::Key_Home}, u"Ctrl+Home", u"最初のフレーム"},
        {PreviousFrame, previewPage, {Qt::CTRL | Qt::Key_Left, Qt::Key_Comma}, u"Ctrl+← / ,", u"前のフレーム"},
        {NextFrame, previewPage, {Qt::CTRL | Qt::Key_Right, Qt::Key_Period}, u"Ctrl+→ / .", u"次のフレーム"},
        {LastFrame, previewPage, {Qt::CTRL | Qt::Key_End}, u"Ctrl+End", u"最後のフレーム"},
        {GoToFrame, previewPage, {Qt::CTRL | Qt::Key_G}, u"Ctrl+G", u"フレーム番号か % を入力して移動"},
        {LoopMode, previewPage, {Qt::CTRL | Qt::Key_L}, u"Ctrl+L", u"1 回 / 繰り返し / 往復を切り替え"},
    };
    static const QList<SRow> all = rows + playback;
    return all;
}

QString CCommandKeys::Line(ECommand eCommand)
{
    for (const SRow& row : Rows())
        if (row.eCommand == eCommand && row.pszText)
            return QString::fromUtf16(row.pszLabel) + QStringLiteral(": ") + QString::fromUtf16(row.pszText);
    return QString();
}

QString CCommandKeys::ToolTip(EPlace ePlace)
{
    QStringList lines;
    for (const SRow& row : Rows())
        if ((row.nPlaces & ePlace) && row.pszText)
            lines << Line(row.eCommand);
    return lines.join(QLatin1Char('\n'));
}

void CCommandKeys::Bind(QWidget* pPage, EPlace ePlace, const std::function<void(ECommand)>& handler)
{
    for (const SRow& row : Rows()) {
        if (!(row.nPlaces & ePlace) || !(row.nPlaces & kPageWide))
            continue;
        for (const QKeyCombination key : row.aKeys) {
            auto* shortcut = new QShortcut(QKeySequence(key), pPage);
            shortcut->setContext(Qt::WindowShortcut); // a hidden page's shortcuts do not fire
            const ECommand command = row.eCommand;
            QObject::connect(shortcut, &QShortcut::activated, pPage, [handler, command] { handler(command); });
        }
    }
}

bool CCommandKeys::Find(const QKeyEvent* event, EPlace ePlace, ECommand& eCommand)
{
    // Arrows and Delete on the keypad are the same keys.
    const QKeyCombination pressed(event->modifiers() & ~Qt::KeypadModifier, Qt::Key(event->key()));
    for (const SRow& row : Rows()) {
        if ((row.nPlaces & ePlace) && !(row.nPlaces & kPageWide) && row.aKeys.contains(pressed)) {
            eCommand = row.eCommand;
            return true;
        }
    }
    return false;
}
