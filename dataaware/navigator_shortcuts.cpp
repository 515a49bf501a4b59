#include "dataaware/navigator_shortcuts.h"

#include "dataaware/dataset.h"
#include "dataaware/navigator.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <optional>

namespace kelvo::dataaware {

namespace {

std::optional<NavigatorButton> buttonOfKey(int key)
{
    switch (key) {
    case Qt::Key_Home: return NavigatorButton::First;
    case Qt::Key_PageUp: return NavigatorButton::Prior;
    case Qt::Key_PageDown: return NavigatorButton::Next;
    case Qt::Key_End: return NavigatorButton::Last;
    case Qt::Key_Insert: return NavigatorButton::Insert;
    case Qt::Key_Delete: return NavigatorButton::Delete;
    case Qt::Key_E: return NavigatorButton::Edit;
    case Qt::Key_S: return NavigatorButton::Post;
    case Qt::Key_C: return NavigatorButton::Cancel;
    case Qt::Key_R: return NavigatorButton::Refresh;
    default: return std::nullopt;
    }
}

}  // namespace

NavigatorShortcuts::NavigatorShortcuts(QWidget& target, Navigator& navigator) : QObject(&target), navigator_(navigator)
{
    target.installEventFilter(this);
}

bool NavigatorShortcuts::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut)
        heldKey_ = 0;
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    // A key pressed with Ctrl acts when it is released, also when Ctrl was let go
    // first: people release the two keys in either order.
    if (event->type() == QEvent::KeyRelease && key->key() == heldKey_ && heldKey_ != 0) {
        if (!key->isAutoRepeat()) {
            heldKey_ = 0;
            run(key->key());
        }
        return true;
    }
    if (!(key->modifiers() & Qt::ControlModifier) || !buttonOfKey(key->key()))
        return QObject::eventFilter(watched, event);
    // The press is held back: views take Ctrl+Home and Ctrl+End on it, and a grid would
    // open its cell on Ctrl+E or Ctrl+S as on any letter typed.
    if (event->type() == QEvent::KeyPress) {
        heldKey_ = key->key();
        return true;
    }
    if (!key->isAutoRepeat())
        run(key->key());
    return true;
}

void NavigatorShortcuts::run(int key)
{
    if (const auto found = actions_.find(key); found != actions_.end()) {
        navigator_.dataset().guard([&] { found->second(); });
        return;
    }
    const NavigatorButton button = *buttonOfKey(key);
    if (button == NavigatorButton::Post && !navigator_.dataset().isEditing()) {
        QApplication::beep();
        return;
    }
    navigator_.press(button);
}

}  // namespace kelvo::dataaware
