#include "editor/questions_editor_window.h"

#include "dataaware/data_memo.h"
#include "dataaware/dataset.h"
#include "dataaware/navigator.h"
#include "dataaware/navigator_shortcuts.h"
#include "ui/application.h"
#include "ui/help.h"
#include "ui/status_panels.h"

#include <QKeyEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QStatusBar>
#include <QVBoxLayout>

namespace kelvo {

TForm8* Form8 = nullptr;

TForm8::TForm8(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm8"));
    setWindowTitle(QStringLiteral("Questions editor"));
    resize(800, 560);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    bottomPanel_ = new QWidget(this);
    bottomPanel_->setObjectName(QStringLiteral("Panel1"));
    // The navigator stands centred in the bottom panel, which begins at 90 % of the height.
    auto* bottom = new QHBoxLayout(bottomPanel_);
    bottom->addStretch();
    bottom->addStretch();
    layout->addWidget(bottomPanel_, 1);
    layout->addWidget(MakePanelStatusBar(this, 2, panels));
}

void TForm8::bind(dataaware::Dataset& questions)
{
    if (questions_ == &questions)
        return;
    questions_ = &questions;
    delete memo;
    delete nav;
    memo = new dataaware::DataMemo(questions, QStringLiteral("caption"), this);
    memo->setObjectName(QStringLiteral("memo"));
    memo->setAccessibleName(QStringLiteral("Question caption"));
    nav = new dataaware::Navigator(questions, bottomPanel_);
    nav->setObjectName(QStringLiteral("nav"));
    nav->setAccessibleName(QStringLiteral("Questions navigator"));
    static_cast<QHBoxLayout*>(bottomPanel_->layout())->insertWidget(1, nav);
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, memo, 9);
    new dataaware::NavigatorShortcuts(*memo, *nav);
    connect(nav, &dataaware::Navigator::clicked, this, [this] { showCounts(); });
    connect(&questions, &dataaware::Dataset::currentChanged, this, [this] { showCounts(); });
    connect(&questions, &dataaware::Dataset::rowsChanged, this, [this] { showCounts(); });
    connect(&questions, &QObject::destroyed, this, [this] {
        questions_ = nullptr;
        delete memo;
        delete nav;
    });
}

void TForm8::showCounts()
{
    if (!questions_)
        return;
    panels[0]->setText(QStringLiteral("Record count: ") + QString::number(questions_->recordNumber()));
    panels[1]->setText(QStringLiteral("Total record count: ") + QString::number(questions_->recordCount()));
}

void TForm8::showEvent(QShowEvent* event)
{
    showCounts();
    QDialog::showEvent(event);
    if (memo)
        memo->setFocus();
}

void TForm8::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        guarded([] { ShowHelpTopic(QStringLiteral("3")); });
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QDialog::keyReleaseEvent(event);
}

void ShowQuestionsEditor(dataaware::Dataset& questions)
{
    if (!Form8)
        return;
    Form8->bind(questions);
    Form8->exec();
}

}  // namespace kelvo
