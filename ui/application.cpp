#include "ui/application.h"

#include "ui/dialog_service.h"
#include "ui/select_on_focus.h"

namespace kelvo {

void reportEscapedException(std::exception_ptr exception)
{
    try {
        std::rethrow_exception(exception);
    } catch (const SilentAbort&) {
    } catch (const std::exception& e) {
        dialogs::error(QString::fromUtf8(e.what()));
    } catch (...) {
        dialogs::error(QStringLiteral("Unknown error."));
    }
}

KelvoApplication::KelvoApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    dialogs::showInMessageBoxes();
    new SelectOnFocus(this);
}

QWidget* KelvoApplication::mainWindow()
{
    const auto* app = qobject_cast<const KelvoApplication*>(QCoreApplication::instance());
    return app ? app->mainWindow_.data() : nullptr;
}

bool KelvoApplication::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

}  // namespace kelvo
