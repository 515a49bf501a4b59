#pragma once
// The application object. Exceptions never cross the Qt event loop: one guard around
// every event handler and slot shows the text of an escaping exception in a message box
// and the program goes on; a SilentAbort ends a handler with no box.

#include <QApplication>

#include <exception>

namespace kelvo {

// Ends the current handler without a message, as a data-entry rule does after it has
// shown its own message.
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "silent abort"; }
};

// Runs f; an exception that escapes it is shown (or swallowed when silent). Returns
// whether f finished without one.
template <class F>
bool guarded(F&& f);

void reportEscapedException(std::exception_ptr exception);

class KelvoApplication : public QApplication {
    Q_OBJECT
public:
    KelvoApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
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
