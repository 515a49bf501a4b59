// The Answers page of the test editor: the tree of questions, the answers of the one
// chosen, the rules an answer is stored and deleted by, and the typed-answer tools of
// the Properties page (the last answer of a question is the one a respondent may type).
#include "editor/editor_window.h"

#include "data/database.h"
#include "dataaware/data_grid.h"
#include "dataaware/dataset.h"
#include "dataaware/navigator.h"
#include "dataaware/navigator_shortcuts.h"
#include "editor/captions_editor_window.h"
#include "editor/clone_window.h"
#include "editor/editor_controls.h"
#include "editor/page_controls.h"
#include "model/messages.h"
#include "ui/application.h"
#include "ui/wait_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <array>

namespace kelvo {

namespace {

using dataaware::Dataset;
using dataaware::GridColumn;
using dataaware::NavigatorButton;
using dataaware::Verdict;

enum TreeImage { NoAnswersImage = 0, AnswersImage = 1, SelectedImage = 2 };

QPixmap Dot(const QColor& colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0x55, 0x55, 0x55));
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(3, 3, 10, 10));
    return pixmap;
}

// A question's node: a hollow mark without answers, a full one with answers, and the
// selected-node image while it is chosen.
void SetNodeImage(QTreeWidgetItem& node, TreeImage image)
{
    static const std::array<QPixmap, 3> pixmaps = {Dot(Qt::white), Dot(QColor(0x2e, 0x8b, 0x57)),
                                                   Dot(QColor(0x1e, 0x5a, 0xc8))};
    QIcon icon(pixmaps[image]);
    icon.addPixmap(pixmaps[SelectedImage], QIcon::Selected);
    node.setIcon(0, icon);
    node.setData(0, Qt::UserRole, static_cast<int>(image));
}

QString PositionExample(int question, int position, bool withShift)
{
    QString text = QStringLiteral(
                       "When you delete this answer don't forget to update positions of answers within this question "
                       "in each formula!\r\n\r\nFor example you should update formula like this: \r\n\r\nif(item")
                   + QString::number(question) + u'=' + QString::number(position) + u')';
    if (withShift)
        text += QStringLiteral(" --> if(item") + QString::number(question) + u'=' + QString::number(position - 1)
                + u')';
    return text;
}

// The last answer as the chosen parse option leaves it.
QString ParsedAnswer(const QString& caption, int option)
{
    QString text = caption.trimmed();
    if (option >= 1)
        text = text.toLower();
    if (option == 2)
        text = RemoveSpaces(text);
    return text;
}

}  // namespace

void TForm3::buildAnswersPage()
{
    qanswers = MakePageDataset(this, "qanswers", QStringLiteral("select * from answers where itemid = :itemID order by id;"),
                               QStringLiteral("answers"));

    auto* layout = new QVBoxLayout(Sheet2);
    nav1 = MakeNavigator(*qanswers, Sheet2, "nav1", QStringLiteral("Answers navigator"));
    btnClone = MakeButton(Sheet2, "btnClone", QStringLiteral("&Clone"));
    btnHelp3 = MakeHelpButton(Sheet2, "btnHelp3", QStringLiteral("7"));
    AddToolRow(*layout, {nav1, btnClone, btnHelp3});

    auto* split = new QSplitter(Sheet2);
    tree = new QTreeWidget(split);
    tree->setObjectName(QStringLiteral("tree"));
    tree->setAccessibleName(QStringLiteral("Questions"));
    tree->setHeaderHidden(true);
    tree->setRootIsDecorated(false);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dbg1 = MakeDataGrid(*qanswers, split, "dbg1", QStringLiteral("Answers"),
                        {GridColumn::editable(QStringLiteral("caption"), QStringLiteral("Caption"))});
    split->addWidget(tree);
    split->addWidget(dbg1);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);
    AppendBelowLastRow(*dbg1);
    new dataaware::NavigatorShortcuts(*dbg1, *nav1);

    // The tree follows the current node whether it is chosen by mouse or by keys.
    connect(tree, &QTreeWidget::currentItemChanged, this,
            guardedSlot([this](QTreeWidgetItem*, QTreeWidgetItem* previous) {
                // An answer being typed is stored before another question's answers are
                // read; when it is refused, its question stays chosen with what was typed.
                if (qanswers->isEditing() && !qanswers->post()) {
                    const QSignalBlocker quiet(tree);
                    tree->setCurrentItem(previous);
                    return;
                }
                treeClick();
            }));
    connect(btnClone, &QPushButton::clicked, this, guardedSlot([this] { btnCloneClick(); }));
    connect(nav1, &dataaware::Navigator::clicked, this,
            guardedSlot([this](NavigatorButton button) { nav1Click(button); }));
    // The node's image follows the answers the question has.
    for (auto signal : {&Dataset::posted, &Dataset::removed})
        connect(qanswers, signal, this, [this] {
            if (QTreeWidgetItem* node = tree->currentItem())
                SetNodeImage(*node, qanswers->recordCount() > 0 ? AnswersImage : NoAnswersImage);
            btnClone->setEnabled(qanswers->recordCount() > 0);
        });

    qanswers->setBeforePost([this] {
        const QVariant question = qanswers->parameter(QStringLiteral("itemID"));
        qanswers->setValue(QStringLiteral("itemid"), question);
        const QString caption = FieldText(*qanswers, QStringLiteral("caption")).trimmed();
        qanswers->setValue(QStringLiteral("caption"), caption);
        if (caption.isEmpty())
            return Verdict::refuse(
                QStringLiteral("You can not have empty (blank) answers in any question!\r\n\r\nThe entry is canceled!"),
                dataaware::NoticeKind::Error);
        if (caption.size() > 255)
            return Verdict::refuse(QStringLiteral("The maximum permitted length of the answer is 255 "
                                                  "characters!\r\n\r\nOperation aborted.."),
                                   dataaware::NoticeKind::Error);
        // The table keeps captions unique whatever their letter case, so they are compared
        // as it compares them.
        QVariantMap parameters {{QStringLiteral("q"), question}, {QStringLiteral("c"), caption}};
        QString sql = QStringLiteral("select count(*) from answers where itemid = :q and caption = :c");
        if (!qanswers->isAppending() && qanswers->state() == dataaware::DatasetState::Edit) {
            sql += QStringLiteral(" and id <> :id");
            parameters.insert(QStringLiteral("id"), qanswers->value(QStringLiteral("id")));
        }
        if (CountOf(sql + u';', parameters) > 0)
            return Verdict::refuse(
                QStringLiteral("Duplicate Caption error! This caption is already present in this question!\r\n\r\nYou "
                               "can't have 2 identical Captions in same question!\r\n\r\nEnter different Caption"),
                dataaware::NoticeKind::Error);
        return Verdict::proceed();
    });

    qanswers->setBeforeDelete([this] {
        const int question = qanswers->value(QStringLiteral("itemid")).toInt();
        const int position = qanswers->recordNumber();
        QString second;
        if (qanswers->recordCount() < 2) {
            if (!dialogs::question(QStringLiteral("This is last answer within selected question!\r\n\r\nYou will not be "
                                                  "able to lock (use) the test if a question does not have an "
                                                  "answer!\r\n\r\nContinue?"),
                                   MessageKind::Warning))
                return Verdict::abort();
            second = QStringLiteral("When you delete this answer don't forget to update all formula for selected "
                                    "question which are referencing this answer position!\r\n\r\nFor example you "
                                    "should delete (or update) formula like this: \r\n\r\nif(item")
                     + QString::number(question) + u'=' + QString::number(position) + u')';
        } else {
            second = PositionExample(question, position, position >= 2);
        }
        return dialogs::question(second, MessageKind::Warning) ? Verdict::proceed() : Verdict::abort();
    });

}

void TForm3::buildTypedAnswerTools()
{
    // The typed-answer tools stand in the Properties page's "Last editable answer" panel.
    auto* typed = Sheet8->findChild<QGroupBox*>(QStringLiteral("panel8e"));
    auto* typedForm = typed ? qobject_cast<QFormLayout*>(typed->layout()) : nullptr;
    QWidget* owner = typed ? static_cast<QWidget*>(typed) : Sheet8;
    btn6 = MakeButton(owner, "btn6", QStringLiteral("Synchronize"),
                          QStringLiteral("Synchronize last answers with client answers"));
    editcap = MakeButton(owner, "editcap", QStringLiteral("Captions"));
    if (typedForm) {
        typedForm->addRow(btn6);
        typedForm->addRow(editcap);
    }
    connect(chEditQuestion, &QCheckBox::toggled, this, guardedSlot([this] { chEditQuestionClick(); }));
    connect(btn6, &QPushButton::clicked, this, guardedSlot([this] { btn6Click(); }));
    connect(editcap, &QPushButton::clicked, this, guardedSlot([this] { editcapClick(); }));
    chEditQuestionClick();
}

void TForm3::LoadAnswerTree()
{
    nav1->setEnabled(false);
    Sheet2->setEnabled(false);
    {
        WaitWindowScope wait(QStringLiteral("Loading all the answers in the test.."));
        const QSignalBlocker quiet(tree);
        tree->clear();
        const RowSet rows = SelectToVariant(
            QStringLiteral("SELECT DISTINCT  items.id, answers.itemid FROM items LEFT JOIN answers ON items.id = "
                           "answers.itemid ORDER BY 1;"));
        for (int r = 0; r < rows.rows(); ++r) {
            auto* node = new QTreeWidgetItem(tree, {QStringLiteral("item") + rows.text(r, 0)});
            SetNodeImage(*node, rows.at(r, 1).isNull() ? NoAnswersImage : AnswersImage);
        }
    }
    questionsChanged_ = false;
    if (tree->topLevelItemCount() > 0 && !tree->currentItem())
        tree->setCurrentItem(tree->topLevelItem(0));
    nav1->setEnabled(true);
    Sheet2->setEnabled(true);
}

int TForm3::CountAnswersOfItem(int itemId)
{
    qanswers->close();
    qanswers->setParameter(QStringLiteral("itemID"), itemId);
    qanswers->open();
    return qanswers->recordCount();
}

void TForm3::treeClick()
{
    QTreeWidgetItem* node = tree->currentItem();
    if (!node)
        return;
    try {
        const int count = CountAnswersOfItem(node->text(0).mid(4).toInt());
        SetNodeImage(*node, count > 0 ? AnswersImage : NoAnswersImage);
        btnClone->setEnabled(count > 0);
    } catch (...) {
        dialogs::error(QStringLiteral("Internal error: error code 1. If you get this error please send e-mail to: ")
                       + kSupportAddress);
    }
}

void TForm3::nav1Click(NavigatorButton button)
{
    if (button == NavigatorButton::Refresh && qanswers->isActive())
        LoadAnswerTree();
}

void TForm3::btnCloneClick()
{
    if (!ItemsExist()) {
        dialogs::information(kNoQuestionsMessage);
        return;
    }
    if (qanswers->isActive() && ShowCloneWindow(CloneMode::Answers, qanswers, qvariables))
        LoadAnswerTree();
}

void TForm3::chEditQuestionClick()
{
    cbParseEdit->setEnabled(chEditQuestion->isChecked());
    btn6->setEnabled(chEditQuestion->isChecked());
}

void TForm3::editcapClick()
{
    const RowSet count = SelectToVariant(QStringLiteral("select count(*) from items;"));
    if (count.isNull() || count.integer(0, 0) <= 0) {
        dialogs::information(QStringLiteral("You must enter questions first!"));
        return;
    }
    ShowCaptionsEditor();
}

void TForm3::btn6Click()
{
    const RowSet questions = SelectToVariant(QStringLiteral("select distinct itemid from answers;"));
    if (questions.isNull()) {
        dialogs::warning(QStringLiteral("Unable to perform this operation because you did not enter answers in the test!"));
        return;
    }
    if (!dialogs::question(QStringLiteral("You are starting Synchronize operation which will change ALL LAST ANSWER IN "
                                          "EACH QUESTION!\r\n\r\nThis operation is suitable ONLY if Last answer is "
                                          "editable for client input!\r\n\r\n Continue?")))
        return;
    const int option = cbParseEdit->currentIndex();
    static const std::array<QString, 3> examples = {
        QStringLiteral("Example : \"   myAnSWer 1    \"  -->  \"myAnSWer 1\""),
        QStringLiteral("Example : \"myAnSWer 1\"  -->  \"myanswer 1\""),
        QStringLiteral("Example : \"my An SW er 1\"  -->  \"myanswer1\""),
    };
    if (option < 0 || option >= static_cast<int>(examples.size()))
        return;
    if (!dialogs::question(QStringLiteral("You start changing ") + QString::number(questions.rows())
                           + QStringLiteral(" answers is test!\r\n\r\nSelected parse option is: ")
                           + cbParseEdit->currentText() + QStringLiteral("\r\n\r\n") + examples[option]
                           + QStringLiteral("\r\n\r\nUpdate (Change like in this example) ALL LAST ANSWERS WITHIN "
                                            "EACH QUESTION?")))
        return;
    const RowSet answers =
        SelectToVariant(QStringLiteral("select id, itemid, caption from answers order by itemid asc, id desc;"));
    int updated = 0;
    {
        // All last answers change together or not at all.
        engine::Transaction transaction(Session::current().con);
        int previousQuestion = -1;
        for (int r = 0; r < answers.rows(); ++r) {
            if (answers.integer(r, 1) == previousQuestion)
                continue;
            previousQuestion = answers.integer(r, 1);
            ExecSQL(QStringLiteral("update answers set caption = %1 where id = %2;")
                        .arg(SqlQuote(ParsedAnswer(answers.text(r, 2), option)))
                        .arg(answers.integer(r, 0)));
            ++updated;
        }
        transaction.commit();
    }
    if (qanswers->isActive())
        qanswers->refresh();
    dialogs::information(QStringLiteral("Successfully updated ") + QString::number(updated) + QStringLiteral(". answers!"));
}

}  // namespace kelvo
