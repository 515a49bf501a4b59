#pragma once
// While a long operation runs, the control that started it is off and the cursor is the
// hourglass; both come back however the operation ends.

#include <QApplication>

namespace kelvo {

// `Control` is a widget or an action: anything with setEnabled.
template <class Control>
class BusyControl {
public:
    explicit BusyControl(Control* control) : control_(control)
    {
        control_->setEnabled(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyControl()
    {
        QApplication::restoreOverrideCursor();
        control_->setEnabled(true);
    }
    BusyControl(const BusyControl&) = delete;
    BusyControl& operator=(const BusyControl&) = delete;

private:
    Control* control_;
};

}  // namespace kelvo
