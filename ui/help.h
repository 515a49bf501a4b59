#pragma once
// Help: one short HTML page per topic number, help/N.htm in the folder gHelpFile names,
// shown in a help window of the program's own.

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace kelvo {

// The folder of the help pages beside the executable, set by the main window.
extern QString gHelpFile;

// Shows page `topic` (the topic number as digits) in the help window, or warns when the
// help folder or the page is missing.
void ShowHelpTopic(const QString& topic);

// One help window for the program, made on first use and kept (a child window of the
// main window) until the program ends or the person closes it.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    void showPage(const QString& path);

    QTextBrowser* browser;
};

}  // namespace kelvo
