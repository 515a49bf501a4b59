#pragma once
// An edit that the author reaches by Tab, by its label's shortcut or by a click holds
// its whole text selected, so that what is typed next replaces the value instead of
// being wedged into it. Qt selects on Tab by itself; a click only places the caret,
// so the click that gives an edit the focus selects its text when it is released,
// unless the mouse dragged a selection of its own. Line edits, spin boxes, the
// data-aware edits and the grids' cell editors are all line edits underneath.

#include <QObject>
#include <QPointer>

class QLineEdit;

namespace kelvo {

class SelectOnFocus : public QObject {
public:
    // Watches every widget of the application that owns it.
    explicit SelectOnFocus(QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The edit a click has just given the focus to, until that click is released.
    QPointer<QLineEdit> clicked_;
};

}  // namespace kelvo
