// The Questions page of the test editor: the questions in a grid or in a view of three
// rows, the rules a question is stored and deleted by, and the tools that open from it.
#include "editor/editor_window.h"

#include "data/database.h"
#include "dataaware/data_grid.h"
#include "dataaware/data_memo.h"
#include "dataaware/dataset.h"
#include "dataaware/dataset_model.h"
#include "dataaware/navigator.h"
#include "dataaware/navigator_shortcuts.h"
#include "editor/clone_window.h"
#include "editor/editor_controls.h"
#include "editor/page_controls.h"
#include "editor/questions_editor_window.h"
#include "model/messages.h"
#include "ui/application.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <limits>

namespace kelvo {

namespace {

using dataaware::Dataset;
using dataaware::GridColumn;
using dataaware::NavigatorButton;
using dataaware::Verdict;

// Three questions at a time, each in a panel with its name and caption. The current
// question's caption is the data-aware memo; the panels around it show their questions
// and make theirs current when clicked.
class QuestionPanels : public QWidget {
public:
    QuestionPanels(Dataset& questions, dataaware::DataMemo& memo, QWidget* parent)
        : QWidget(parent), questions_(questions), memo_(memo)
    {
        auto* layout = new QVBoxLayout(this);
        for (size_t i = 0; i < panels_.size(); ++i) {
            Panel& panel = panels_[i];
            panel.frame = new QFrame(this);
            panel.frame->setFrameShape(QFrame::StyledPanel);
            auto* panelLayout = new QVBoxLayout(panel.frame);
            auto* nameRow = new QHBoxLayout;
            auto* nameLabel = new QLabel(QStringLiteral("Name:"), panel.frame);
            panel.name = new QLabel(panel.frame);
            panel.name->setAccessibleName(QStringLiteral("Name"));
            nameLabel->setBuddy(panel.name);
            nameRow->addWidget(nameLabel);
            nameRow->addWidget(panel.name, 1);
            panelLayout->addLayout(nameRow);
            panel.preview = new QPlainTextEdit(panel.frame);
            panel.preview->setReadOnly(true);
            panel.preview->setAccessibleName(QStringLiteral("Caption"));
            panel.preview->installEventFilter(this);
            panelLayout->addWidget(panel.preview, 1);
            layout->addWidget(panel.frame, 1);
        }
        connect(&questions_, &Dataset::currentChanged, this, [this] { follow(); });
        connect(&questions_, &Dataset::rowsChanged, this, [this] { follow(); });
        follow();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::FocusIn)
            for (size_t i = 0; i < panels_.size(); ++i)
                if (watched == panels_[i].preview && panels_[i].row >= 0) {
                    const int row = panels_[i].row;
                    questions_.guard([&] { questions_.moveTo(row); });
                    memo_.setFocus();
                    return event->type() == QEvent::MouseButtonPress;
                }
        return QWidget::eventFilter(watched, event);
    }

private:
    struct Panel {
        QFrame* frame = nullptr;
        QLabel* name = nullptr;
        QPlainTextEdit* preview = nullptr;
        int row = -1;
    };

    void follow()
    {
        const int rows = questions_.rowCount();
        const int current = questions_.currentIndex();
        const int top = std::clamp(current - 1, 0, std::max(0, rows - static_cast<int>(panels_.size())));
        const bool hadFocus = memo_.hasFocus();
        for (size_t i = 0; i < panels_.size(); ++i) {
            Panel& panel = panels_[i];
            const int row = top + static_cast<int>(i);
            panel.row = row < rows ? row : -1;
            panel.frame->setVisible(panel.row >= 0);
            if (panel.row < 0)
                continue;
            const QVariant id = questions_.cell(row, questions_.fieldIndex(QStringLiteral("id")));
            panel.name->setText(id.isNull() ? QString() : QStringLiteral("item") + id.toString());
            const bool isCurrent = row == current;
            panel.preview->setVisible(!isCurrent);
            if (isCurrent && memo_.parentWidget() != panel.frame)
                panel.frame->layout()->addWidget(&memo_);
            if (!isCurrent)
                panel.preview->setPlainText(
                    questions_.cell(row, questions_.fieldIndex(QStringLiteral("caption"))).toString());
        }
        memo_.setVisible(current >= 0);
        if (hadFocus)
            memo_.setFocus();
    }

    Dataset& questions_;
    dataaware::DataMemo& memo_;
    std::array<Panel, 3> panels_;
};

// Enter released on the caption column of the questions grid opens the questions
// editor; an Enter that posted an edit is not counted.
class CaptionEnterFilter : public QObject {
public:
    CaptionEnterFilter(dataaware::DataGrid& grid, std::function<void()> open)
        : QObject(&grid), grid_(grid), open_(std::move(open))
    {
        grid.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return QObject::eventFilter(watched, event);
        if (event->type() == QEvent::KeyPress) {
            pressedWhileBrowsing_ = !grid_.dataset().isEditing();
        } else if (pressedWhileBrowsing_ && !key->isAutoRepeat()) {
            pressedWhileBrowsing_ = false;
            if (onCaption())
                guarded(open_);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool onCaption() const
    {
        const GridColumn* column = grid_.datasetModel().column(grid_.currentIndex().column());
        return column && column->field == QLatin1String("caption");
    }

    dataaware::DataGrid& grid_;
    std::function<void()> open_;
    bool pressedWhileBrowsing_ = false;
};

}  // namespace

void TForm3::buildQuestionsPage()
{
    qitems = MakePageDataset(this, "qitems", QStringLiteral("select * from items order by id;"), QStringLiteral("items"));

    auto* layout = new QVBoxLayout(Sheet1);
    nav = MakeNavigator(*qitems, Sheet1, "nav", QStringLiteral("Questions navigator"));
    btn5 = MakeButton(Sheet1, "btn5", QStringLiteral("CtrlGrid"), QStringLiteral("View 3 questions"));
    btn4 = MakeButton(Sheet1, "btn4", QStringLiteral("Grid"), QStringLiteral("View all questions"));
    cloneItems = MakeButton(Sheet1, "cloneItems", QStringLiteral("&Clone"));
    btnHelp2 = MakeHelpButton(Sheet1, "btnHelp2", QStringLiteral("3"));
    AddToolRow(*layout, {nav, btn5, btn4, cloneItems, btnHelp2});

    dbg = MakeDataGrid(*qitems, Sheet1, "dbg", QStringLiteral("Questions"),
                       {GridColumn::numberedName(QStringLiteral("id"), QStringLiteral("Name"), QStringLiteral("item")),
                        GridColumn::editable(QStringLiteral("caption"), QStringLiteral("Caption"))});
    // A double click opens the questions editor; typing starts an edit in the cell.
    dbg->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    layout->addWidget(dbg, 1);

    DBMemo1 = new dataaware::DataMemo(*qitems, QStringLiteral("caption"), Sheet1);
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->setAccessibleName(QStringLiteral("Caption"));
    ctrlgrid = new QuestionPanels(*qitems, *DBMemo1, Sheet1);
    ctrlgrid->setObjectName(QStringLiteral("ctrlgrid"));
    ctrlgrid->setAccessibleName(QStringLiteral("Three questions"));
    ctrlgrid->hide();
    layout->addWidget(ctrlgrid, 1);

    AppendBelowLastRow(*dbg);
    auto* gridKeys = new dataaware::NavigatorShortcuts(*dbg, *nav);
    gridKeys->setKeyAction(Qt::Key_E, [this] { ShowQuestionsEditor(*qitems); });
    gridKeys->setKeyAction(Qt::Key_S, [] { QApplication::beep(); });
    new dataaware::NavigatorShortcuts(*DBMemo1, *nav);
    new CaptionEnterFilter(*dbg, [this] { ShowQuestionsEditor(*qitems); });

    connect(dbg, &QAbstractItemView::doubleClicked, this, guardedSlot([this] { dbgDblClick(); }));
    connect(btn5, &QPushButton::clicked, this, guardedSlot([this] {
                dbg->hide();
                ctrlgrid->show();
            }));
    connect(btn4, &QPushButton::clicked, this, guardedSlot([this] {
                ctrlgrid->hide();
                dbg->show();
            }));
    connect(cloneItems, &QPushButton::clicked, this, guardedSlot([this] { cloneItemsClick(); }));
    for (auto signal : {&Dataset::posted, &Dataset::removed})
        connect(qitems, signal, this, [this] { questionsChanged_ = true; });

    qitems->setNewRecord([this] {
        if (!qitems->value(QStringLiteral("id")).isNull())
            return Verdict::proceed();
        int id = 1;
        if (qitems->recordCount() == 0)
            id = 1;
        else if (qitems->isAppending()) {
            const RowSet rows = SelectToVariant(QStringLiteral("select max(id) from items;"));
            id = rows.isNull() || rows.at(0, 0).isNull() ? 1 : rows.integer(0, 0);
            // After the largest id there is no next one: the question takes a free id.
            id = id < std::numeric_limits<int>::max()
                     ? id + 1
                     : FirstFreeNumber(QStringLiteral("select id from items order by id;"), 0);
        } else
            id = FirstFreeNumber(QStringLiteral("select id from items order by id;"), 0);
        qitems->setValue(QStringLiteral("id"), id);
        return Verdict::proceed();
    });

    qitems->setBeforePost([this] {
        if (FieldText(*qitems, QStringLiteral("caption")).trimmed().isEmpty())
            return Verdict::refuse(QStringLiteral("You can not have empty (blank) question!\r\n\r\nThe entry is canceled"));
        return Verdict::proceed();
    });

    qitems->setBeforeDelete([this] {
        const int id = qitems->value(QStringLiteral("id")).toInt();
        const RowSet answers = SelectToVariant(QStringLiteral("select id, caption from answers where itemID=%1;").arg(id));
        if (!answers.isNull()) {
            QString list;
            for (int r = 0; r < answers.rows(); ++r)
                list += QStringLiteral("\r\n\r\n") + answers.text(r, 1);
            if (!dialogs::question(QStringLiteral("If you delete this question you will delete this answers: ") + list
                                   + QStringLiteral("\r\n\r\nDelete record?")))
                return Verdict::abort();
        }
        const std::vector<StoredFormula> formulas = FindFormulasReferencing(id, QStringLiteral("item"));
        if (!formulas.empty()) {
            if (!dialogs::question(QStringLiteral("If you delete this question you will delete some related formula "
                                                  "definition!\r\n\r\nRecord count: ")
                                   + QString::number(formulas.size()) + QStringLiteral("\r\n\r\nDelete record?")))
                return Verdict::abort();
            ExecSQL(DeleteFormulasStatement(formulas));
        }
        ExecSQL(QStringLiteral("delete from answers where itemid = %1;").arg(id));
        return Verdict::proceed();
    });
}

void TForm3::dbgDblClick()
{
    const GridColumn* column = dbg->datasetModel().column(dbg->currentIndex().column());
    if (column && column->field == QLatin1String("caption"))
        ShowQuestionsEditor(*qitems);
}

void TForm3::cloneItemsClick()
{
    if (!ItemsExist()) {
        dialogs::information(kNoQuestionsMessage);
        return;
    }
    ShowCloneWindow(CloneMode::Questions, qanswers, qvariables);
}

}  // namespace kelvo
