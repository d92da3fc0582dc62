#include "platform/qt/qt_input.h"

namespace talvrin::platform::qt {

Qt::CursorShape cursorShapeOf(std::int16_t pointer) {
    switch (pointer) {
        case 1:
            return Qt::ArrowCursor;
        case 2:
            return Qt::CrossCursor;
        case 3:
            return Qt::IBeamCursor;
        case 5:
            return Qt::SizeAllCursor;
        case 6:
            return Qt::SizeBDiagCursor;
        case 7:
            return Qt::SizeVerCursor;
        case 8:
            return Qt::SizeFDiagCursor;
        case 9:
            return Qt::SizeHorCursor;
        case 10:
            return Qt::UpArrowCursor;
        case 11:
            return Qt::WaitCursor;
        case 12:
            return Qt::ForbiddenCursor;
        case 13:
            return Qt::BusyCursor;
        case 14:
            return Qt::WhatsThisCursor;
        case 15:
            return Qt::SizeAllCursor;
        default:
            return Qt::ArrowCursor;
    }
}

std::int16_t buttonsOf(Qt::MouseButtons buttons) {
    return static_cast<std::int16_t>(buttons.toInt() & 0x7);
}

std::int16_t shiftOf(Qt::KeyboardModifiers modifiers) {
    std::int16_t shift = 0;
    if (modifiers & Qt::ShiftModifier) shift |= 1;
    if (modifiers & Qt::ControlModifier) shift |= 2;
    if (modifiers & Qt::AltModifier) shift |= 4;
    return shift;
}

std::int16_t keyCodeOf(int key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return static_cast<std::int16_t>(key);  // the same codes
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return static_cast<std::int16_t>(0x70 + (key - Qt::Key_F1));
    switch (key) {
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Tab:
            return 9;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Shift:
            return 16;
        case Qt::Key_Control:
            return 17;
        case Qt::Key_Alt:
            return 18;
        case Qt::Key_Pause:
            return 19;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Space:
            return 32;
        case Qt::Key_PageUp:
            return 33;
        case Qt::Key_PageDown:
            return 34;
        case Qt::Key_End:
            return 35;
        case Qt::Key_Home:
            return 36;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_Insert:
            return 45;
        case Qt::Key_Delete:
            return 46;
        default:
            return 0;
    }
}

std::int32_t effectsOf(Qt::DropActions actions) {
    std::int32_t effect = 0;
    if (actions & Qt::CopyAction) effect |= 1;
    if (actions & Qt::MoveAction) effect |= 2;
    return effect;
}

void answerDrop(QDropEvent* event, std::int32_t effect) {
    if ((effect & 2) != 0 && (event->possibleActions() & Qt::MoveAction)) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else if ((effect & 1) != 0 && (event->possibleActions() & Qt::CopyAction)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace talvrin::platform::qt
