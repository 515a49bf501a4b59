#pragma once
// The application object. Exceptions never cross the Qt event loop: one guard around
// every event handler and slot shows the text of an escaping exception in a message box
// and the program goes on; a SilentAbort ends a handler with no box.

#include "data/session.h"
#include "model/messages.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <exception>
#include <type_traits>
#include <utility>

namespace kelvo {

// Runs f; an exception that escapes it is shown (or swallowed when silent). Returns
// whether f finished without one.
template <class F>
bool guarded(F&& f);

void reportEscapedException(std::exception_ptr exception);

// Wraps a slot so that an exception ends it at its own frame: Qt's code between the
// signal and the slot is not written for unwinding, so the guard has to stand inside
// the slot. Connect every handler through it:
//   connect(btnCreate, &QPushButton::clicked, this, guardedSlot([this] { btnCreateClick(); }));
template <class F>
auto guardedSlot(F slot)
{
    // A slot may ignore what the signal passes (clicked(bool) to a handler without
    // arguments), as Qt's own connections allow.
    return [slot = std::move(slot)](auto&&... arguments) mutable {
        guarded([&] {
            if constexpr (std::is_invocable_v<F&, decltype(arguments)...>)
                slot(std::forward<decltype(arguments)>(arguments)...);
            else
                slot();
        });
    };
}

// The last resort: notify() catches what a handler let escape, so the program goes on
// even where a handler forgot its guard.
class KelvoApplication : public QApplication {
    Q_OBJECT
public:
    KelvoApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // The window that owns the help and busy windows and centres them; null while the
    // program has none (or runs in another application object).
    static QWidget* mainWindow();
    void setMainWindow(QWidget* window) { mainWindow_ = window; }

private:
    // The open test, for as long as the program runs.
    Session session_;
    QPointer<QWidget> mainWindow_;
};

template <class F>
bool guarded(F&& f)
{
    try {
        f();
        return true;
    } catch (...) {
        reportEscapedException(std::current_exception());
        return false;
    }
}

}  // namespace kelvo
