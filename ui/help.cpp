#include "ui/help.h"

#include "ui/application.h"
#include "ui/dialog_service.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace kelvo {

QString gHelpFile;

namespace {

HelpWindow* ExistingHelpWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* help = qobject_cast<HelpWindow*>(widget))
            return help;
    return nullptr;
}

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), browser(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Kelvo Help"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(640, 480);
    browser->setObjectName(QStringLiteral("browser"));
    browser->setAccessibleName(QStringLiteral("Help page"));
    browser->setOpenExternalLinks(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser);
}

void HelpWindow::showPage(const QString& path)
{
    browser->setSearchPaths({QFileInfo(path).absolutePath()});
    browser->setSource(QUrl::fromLocalFile(path));
}

void ShowHelpTopic(const QString& topic)
{
    const QString page = gHelpFile + QLatin1Char('/') + topic + QStringLiteral(".htm");
    if (gHelpFile.isEmpty() || !QFileInfo(gHelpFile).isDir() || !QFileInfo(page).isFile()) {
        dialogs::warning(QStringLiteral(
            "The program is not able to find Kelvo help file inside the installation "
            "directory!\r\n\r\nCheck the status of Kelvo.chm help file!"));
        return;
    }
    // A modal window blocks every window but its own: opened over one, the help window
    // belongs to it, so that its links and its close answer at once.
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner)
        owner = KelvoApplication::mainWindow();
    HelpWindow* help = ExistingHelpWindow();
    if (!help)
        help = new HelpWindow(owner);  // owned by its window, or by itself when closed
    else if (help->parentWidget() != owner)
        help->setParent(owner, help->windowFlags());
    help->showPage(page);
    help->show();
    help->raise();
    help->activateWindow();
}

}  // namespace kelvo
