#include "ui/select_on_focus.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QLineEdit>

namespace kelvo {

namespace {

// The line edit that holds the text of `object`: itself, or the edit inside a spin box
// or an editable combo box, which take the focus in its place.
QLineEdit* TextEditOf(QObject* object)
{
    if (auto* edit = qobject_cast<QLineEdit*>(object))
        return edit;
    if (auto* combo = qobject_cast<QComboBox*>(object))
        return combo->lineEdit();
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(object))
        return spin->findChild<QLineEdit*>();
    return nullptr;
}

}  // namespace

SelectOnFocus::SelectOnFocus(QObject* parent) : QObject(parent)
{
    QCoreApplication::instance()->installEventFilter(this);
}

bool SelectOnFocus::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
        if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason)
            if (QLineEdit* edit = TextEditOf(watched))
                clicked_ = edit;
        break;
    case QEvent::MouseButtonRelease:
        // The window sees the release before the widget under the mouse does.
        if (!watched->isWidgetType())
            break;
        if (watched == clicked_ && !clicked_->hasSelectedText())
            clicked_->selectAll();
        clicked_ = nullptr;
        break;
    default: break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace kelvo
