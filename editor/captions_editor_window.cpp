#include "editor/captions_editor_window.h"

#include "data/session.h"
#include "dataaware/data_grid.h"
#include "dataaware/dataset.h"
#include "dataaware/navigator.h"
#include "dataaware/navigator_shortcuts.h"
#include "editor/editor_controls.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/help.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace kelvo {

TForm10* Form10 = nullptr;

namespace {

using dataaware::NavigatorButton;
using dataaware::Verdict;

constexpr int kLongestCaption = 255;

}  // namespace

TForm10::TForm10(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm10"));
    setWindowTitle(QStringLiteral("Editable captions"));
    resize(640, 480);

    qitems = new dataaware::Dataset(this);
    qitems->setStatement(QStringLiteral("select id, editcap from items order by 1;"));
    qitems->setTable(QStringLiteral("items"), {QStringLiteral("id")});
    // The questions themselves belong to the Questions page.
    qitems->setBeforeInsert([] { return Verdict::abort(); });
    qitems->setBeforeDelete([] { return Verdict::refuse(QStringLiteral("This operation is not allowed!")); });
    qitems->setBeforePost([this] {
        if (qitems->value(QStringLiteral("editcap")).toString().size() > kLongestCaption)
            return Verdict::refuse(QStringLiteral("The maximum permitted length for editable answer Caption is 255 "
                                                  "characters!\r\n\r\nOperation aborted.."),
                                   dataaware::NoticeKind::Error);
        return Verdict::proceed();
    });
    qitems->setMessageHandler(ShowNotice);
    qitems->setExceptionHandler([](std::exception_ptr exception) { reportEscapedException(exception); });

    dbg = new dataaware::DataGrid(*qitems, this);
    dbg->setObjectName(QStringLiteral("dbg"));
    dbg->setAccessibleName(QStringLiteral("Editable captions"));
    dbg->setColumns({dataaware::GridColumn::numberedName(QStringLiteral("id"), QStringLiteral("Name"),
                                                         QStringLiteral("item")),
                     dataaware::GridColumn::editable(QStringLiteral("editcap"), QStringLiteral("Editable caption"))});
    dbg->horizontalHeader()->setStretchLastSection(true);

    nav = new dataaware::Navigator(*qitems, this);
    nav->setObjectName(QStringLiteral("nav"));
    nav->setAccessibleName(QStringLiteral("Captions navigator"));
    nav->setVisibleButtons(NavigatorButton::First | NavigatorButton::Prior | NavigatorButton::Next
                           | NavigatorButton::Last | NavigatorButton::Edit | NavigatorButton::Post
                           | NavigatorButton::Cancel | NavigatorButton::Refresh);
    nav->adjustSize();
    // Insert and Delete are not among the navigator's buttons, so their keys do nothing.
    new dataaware::NavigatorShortcuts(*dbg, *nav);
}

void TForm10::Rebind()
{
    qitems->close();
    Session& session = Session::current();
    qitems->setConnection(&session.con);
    if (session.con.isOpen())
        qitems->open();
}

void TForm10::showEvent(QShowEvent* event)
{
    guarded([this] { Rebind(); });
    QDialog::showEvent(event);
}

void TForm10::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        guarded([] { ShowHelpTopic(QStringLiteral("29")); });
        return;
    }
    QDialog::keyReleaseEvent(event);
}

void TForm10::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    placeControls();
}

// The navigator stands centred, three of its heights above the bottom edge; the grid
// fills the space above it less one navigator height.
void TForm10::placeControls()
{
    const int navHeight = nav->sizeHint().height();
    const int navWidth = nav->sizeHint().width();
    const int navTop = height() - 3 * navHeight;
    nav->setGeometry((width() - navWidth) / 2, navTop, navWidth, navHeight);
    dbg->setGeometry(0, 0, width(), std::max(0, navTop - navHeight));
}

void RebindQuestionTools()
{
    // The clone window runs its statements on the session's connection as it goes, so
    // only the captions editor holds rows of the test.
    if (Form10)
        Form10->Rebind();
}

void ShowCaptionsEditor()
{
    if (Form10)
        Form10->exec();
}

}  // namespace kelvo
