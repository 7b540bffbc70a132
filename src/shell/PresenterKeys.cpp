#include "shell/PresenterKeys.h"

namespace rostrel {

PresenterAction presenterAction(int key, Qt::KeyboardModifiers modifiers, FocusKind focus) {
    // The keypad and Shift (needed for "+" on most layouts) do not change a key's meaning.
    const Qt::KeyboardModifiers mods = modifiers & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    const bool shift = modifiers & Qt::ShiftModifier;
    switch (key) {
    case Qt::Key_F1:
        return mods ? PresenterAction::None : PresenterAction::Help;
    case Qt::Key_F5:
    case Qt::Key_F11:
        return mods ? PresenterAction::None : PresenterAction::Fullscreen;
    case Qt::Key_Escape:
        return mods ? PresenterAction::None : PresenterAction::Leave;
    default:
        break;
    }
    if (focus == FocusKind::TextBox)
        return PresenterAction::None;
    const bool plain = !(modifiers & ~Qt::KeypadModifier);
    if (plain && focus == FocusKind::Button && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter))
        return PresenterAction::None;
    if (plain && focus == FocusKind::List &&
        (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right ||
         key == Qt::Key_PageUp || key == Qt::Key_PageDown))
        return PresenterAction::None;
    if (mods == Qt::ControlModifier) {
        switch (key) {
        case Qt::Key_Z:
            return shift ? PresenterAction::Redo : PresenterAction::Undo;
        case Qt::Key_Y:
            return shift ? PresenterAction::None : PresenterAction::Redo;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return PresenterAction::WriteScore;
        default:
            return PresenterAction::None;
        }
    }
    if (mods)
        return PresenterAction::None;
    switch (key) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_PageDown:
    case Qt::Key_Right:
    case Qt::Key_Down:
        return PresenterAction::Pick;
    case Qt::Key_PageUp:
    case Qt::Key_Left:
    case Qt::Key_Up:
        return PresenterAction::Back;
    case Qt::Key_B:
    case Qt::Key_Period:
        return PresenterAction::Blank;
    case Qt::Key_Plus:
    case Qt::Key_Equal: // the "+" key without Shift
        return PresenterAction::PointsUp;
    case Qt::Key_Minus:
        return PresenterAction::PointsDown;
    default:
        return PresenterAction::None;
    }
}

QList<KeyHelp> presenterKeyHelp() {
    return {
        {QStringLiteral("空格、回车、PageDown、→、↓"), QStringLiteral("点名：开始或停止滚动，或直接点出一人")},
        {QStringLiteral("PageUp、←、↑"), QStringLiteral("顺序点名时“下一个”，否则“下一组”")},
        {QStringLiteral("F5、F11"), QStringLiteral("全屏显示开或关；Esc 退出全屏")},
        {QStringLiteral("B、."), QStringLiteral("黑屏，再按一次恢复")},
        {QStringLiteral("+、-"), QStringLiteral("分值加一、减一")},
        {QStringLiteral("Ctrl+回车"), QStringLiteral("给当前学生写成绩")},
        {QStringLiteral("Ctrl+Z"), QStringLiteral("撤销上一次写入名单")},
        {QStringLiteral("Ctrl+Shift+Z、Ctrl+Y"), QStringLiteral("重做")},
        {QStringLiteral("F1"), QStringLiteral("显示或关闭本帮助")},
    };
}

} // namespace rostrel
