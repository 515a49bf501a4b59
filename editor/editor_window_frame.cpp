// The frame around the editor's pages: what a page does when it becomes active, the
// datasets of the editing pages, and the bottom Help button by page.
#include "editor/editor_window.h"

#include "data/session.h"
#include "dataaware/dataset.h"
#include "ui/application.h"
#include "ui/help.h"

#include <QCheckBox>
#include <QLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

#include <array>

namespace kelvo {

namespace {

// The pages in the order of the page control.
enum Page { Questions, Answers, Data, Variables, Keyboard, Language, Properties, Administrator };

// The help topic of each page, while the test is open for editing.
const std::array<QString, 8> kPageTopics = {QStringLiteral("3"),  QStringLiteral("7"),  QStringLiteral("10"),
                                            QStringLiteral("8"),  QStringLiteral("11"), QStringLiteral("12"),
                                            QStringLiteral("13"), QStringLiteral("14")};

}  // namespace

void TForm3::buildFrame()
{
    connect(PageControl, &QTabWidget::currentChanged, this, guardedSlot([this] { PageControlChange(); }));
    connect(btnHelp, &QPushButton::clicked, this, guardedSlot([this] { btnHelpClick(); }));
    connect(chKeyBoard, &QCheckBox::clicked, this, guardedSlot([this] { chKeyboardClick(); }));
    buildTypedAnswerTools();
    // The Properties page's bottom panel keeps its help button 10 pixels from the right
    // edge, whatever the panel's width.
    if (auto* panel = Sheet8->findChild<QWidget*>(QStringLiteral("Panel13")); panel && panel->layout()) {
        QMargins margins = panel->layout()->contentsMargins();
        margins.setRight(10);
        panel->layout()->setContentsMargins(margins);
    }
}

void TForm3::PageControlChange()
{
    switch (PageControl->currentIndex()) {
    case Questions:
        if (qitems->isActive())
            qitems->refresh();
        break;
    case Answers:
        if (qitems->recordCount() > 0) {
            Sheet2->setEnabled(true);
            // The tree is read once, and again when questions were added or removed.
            if (tree->topLevelItemCount() == 0 || questionsChanged_)
                LoadAnswerTree();
        } else {
            Sheet2->setEnabled(false);
        }
        break;
    case Data:
        if (quserf->isActive())
            quserf->refresh();
        break;
    case Variables:
        if (qvariables->isActive())
            qvariables->refresh();
        EnableFormulaButtons();
        break;
    case Language:
        if (qtestd->isActive())
            qtestd->refresh();
        break;
    default: break;
    }
}

void TForm3::OpenPageDataSets()
{
    ClosePageDataSets();
    for (dataaware::Dataset* dataset : {qitems, quserf, qvariables, qkeyb})
        dataset->open();
    EnableFormulaButtons();
}

void TForm3::ClosePageDataSets()
{
    for (dataaware::Dataset* dataset : {qitems, qanswers, quserf, qvariables, qkeyb})
        dataset->close();
    const QSignalBlocker quiet(tree);
    tree->clear();
    questionsChanged_ = false;
}

void TForm3::btnHelpClick()
{
    const int page = PageControl->currentIndex();
    if (btnLock->isChecked() && page >= 0 && page < static_cast<int>(kPageTopics.size()))
        ShowHelpTopic(kPageTopics[page]);
    else
        ShowHelpTopic(QStringLiteral("1"));
}


}  // namespace kelvo
