#pragma once

#include <QKeyCombination>
#include <QList>
#include <QString>

#include <functional>

class QKeyEvent;
class QWidget;

// The one table of the picture views' mouse and key commands: each row names
// its keys, where it works and the line the views' tooltips show for it. The
// page-wide keys become shortcuts of the page on show, the editor's own keys
// are looked up by the focused point editor.
class CCommandKeys
{
public:
    enum ECommand {
        AddPair,  // mouse only
        DragPair, // mouse only
        ErasePair, // mouse only
        Nudge,
        DeletePair,
        SelectPrevious,
        SelectNext,
        ZoomIn,
        ZoomOut,
        ZoomActual,
        ZoomFit,
        Undo,
        Redo,
        SavePairs,
        LoadPairs,
        MatchPartner,
        FindPairs,
        AutoMatch,
        ShowNumbers,
        ShowPartner,
        ShowSelection,
        ShowMesh,
        ShowTurned,
        // Playback on page 131.
        PlayPause,
        FirstFrame,
        PreviousFrame,
        NextFrame,
        LastFrame,
        GoToFrame,
        LoopMode,
    };

    // Where a row works.
    enum EPlace : unsigned {
        kEditor = 1,   // page 130, both point editors
        kPreview = 2,  // page 131
        kPageWide = 4, // a shortcut of the whole page; else only in the focused editor
    };

    struct SRow
    {
        ECommand eCommand;
        unsigned nPlaces;
        QList<QKeyCombination> aKeys;
        const char16_t* pszLabel; // how the tooltip names the keys or the mouse action
        const char16_t* pszText;  // what it does; null where the row before says it
    };

    static const QList<SRow>& Rows();
    // The row's "keys: what it does" line, as the tooltips show it.
    static QString Line(ECommand eCommand);

    // The tooltip of a view at ePlace: one line per row that works there.
    static QString ToolTip(EPlace ePlace);

    // Makes the page-wide keys of ePlace shortcuts of pPage, active while
    // the page is on show, each calling handler with its command.
    static void Bind(QWidget* pPage, EPlace ePlace, const std::function<void(ECommand)>& handler);

    // The focused editor's command for a key press, or false.
    static bool Find(const QKeyEvent* event, EPlace ePlace, ECommand& eCommand);
};
