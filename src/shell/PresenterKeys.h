// The window-wide keys of a teacher in front of the class, as keyboards and presenter
// remotes send them (a remote's "next" is PageDown or Right, its "blank" B or "."), and the
// list the help overlay shows.
#pragma once

#include <QList>
#include <QString>
#include <Qt>

namespace rostrel {

enum class PresenterAction {
    None,
    Pick,       // as a click on the name label: start or stop rolling, or pick
    Back,       // "下一个" in sequential mode, else the next group
    Fullscreen, // the presentation view on or off
    Leave,      // out of the presentation view (or the help)
    Blank,      // blank the display, and back
    Undo,
    Redo,
    PointsUp,
    PointsDown,
    WriteScore,
    Help,
};

// What has the keyboard focus, as far as the presenter keys care.
enum class FocusKind {
    Other,   // the name label, a frame, nothing
    TextBox, // a box the teacher types into: keeps every key that types or edits there
             // (Space, Enter, arrows, "+", "-", ".", B, its own Ctrl+Z)
    Button,  // a button, check box or clickable image reached with Tab: keeps Space and Enter
    List,    // a list or drop-down list reached with Tab: keeps its arrows and page keys
};

// What a key press does; the function keys and Esc work whatever has the focus.
PresenterAction presenterAction(int key, Qt::KeyboardModifiers modifiers, FocusKind focus);

struct KeyHelp {
    QString keys;
    QString action;
};

// The help overlay's lines, in order.
QList<KeyHelp> presenterKeyHelp();

} // namespace rostrel
