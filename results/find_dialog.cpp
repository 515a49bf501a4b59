#include "results/find_dialog.h"

#include "data/database.h"
#include "data/session.h"
#include "results/results_window.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/help.h"
#include "ui/printable_text.h"

#include <QButtonGroup>
#include <QToolButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace kelvo {

namespace {

const QString kQuoteForbidden = QStringLiteral("This character is forbidden to enter inside the SQL query: ' ");

bool isDataFieldColumn(const QString& column) { return column.startsWith(u"data"); }

}  // namespace

TForm17::TForm17(TForm13& results, QWidget* parent) : QDialog(parent), results_(results)
{
    setObjectName(QStringLiteral("TForm17"));
    setWindowTitle(QStringLiteral("Find"));

    combo = new QComboBox(this);
    combo->setObjectName(QStringLiteral("combo"));
    auto* comboLabel = new QLabel(QStringLiteral("Define column:"), this);
    comboLabel->setBuddy(combo);
    edit = new QLineEdit(this);
    edit->setObjectName(QStringLiteral("edit"));
    KeepPrintable(edit);
    auto* editLabel = new QLabel(QStringLiteral("Find what:"), this);
    editLabel->setBuddy(edit);

    radioBox = new QGroupBox(QStringLiteral("Search:"), this);
    radioBox->setObjectName(QStringLiteral("radio"));
    radio = new QButtonGroup(this);
    auto* radioLayout = new QHBoxLayout(radioBox);
    const QString items[] = {QStringLiteral("&Partial"), QStringLiteral("&Exact")};
    for (int i = 0; i < 2; ++i) {
        auto* button = new QRadioButton(items[i], radioBox);
        radio->addButton(button, i);
        radioLayout->addWidget(button);
    }
    radio->button(0)->setChecked(true);

    findBtn = new QPushButton(QStringLiteral("&Find"), this);
    findBtn->setObjectName(QStringLiteral("findBtn"));
    findBtn->setDefault(true);  // Enter in the column list or the text finds
    resetBtn = new QPushButton(QStringLiteral("&Reset"), this);
    resetBtn->setObjectName(QStringLiteral("resetBtn"));
    helpBtn = new QPushButton(QStringLiteral("&Help"), this);
    helpBtn->setObjectName(QStringLiteral("helpBtn"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(findBtn, QDialogButtonBox::ActionRole);
    buttons->addButton(resetBtn, QDialogButtonBox::ResetRole);
    buttons->addButton(helpBtn, QDialogButtonBox::HelpRole);

    auto* layout = new QGridLayout(this);
    layout->addWidget(comboLabel, 0, 0);
    layout->addWidget(combo, 0, 1);
    layout->addWidget(editLabel, 1, 0);
    layout->addWidget(edit, 1, 1);
    layout->addWidget(radioBox, 2, 0, 1, 2);
    layout->addWidget(buttons, 3, 0, 1, 2);
    combo->setMinimumWidth(220);

    connect(findBtn, &QPushButton::clicked, this, guardedSlot([this] { findBtnClick(); }));
    connect(resetBtn, &QPushButton::clicked, this, guardedSlot([this] { resetBtnClick(); }));
    connect(helpBtn, &QPushButton::clicked, this, guardedSlot([this] { helpBtnClick(); }));

    FormCreate();
}

void TForm17::FormCreate()
{
    if (Session::current().con.isOpen()) {
        // Only the field names are wanted: the rows, many thousand of them, are not read.
        if (TableExists(QStringLiteral("dataf")))
            for (const engine::FieldInfo& field : Session::current().con.tableFields(QStringLiteral("dataf")))
                combo->addItem(field.name);
        for (const engine::FieldInfo& field : Session::current().con.tableFields(QStringLiteral("datac")))
            combo->addItem(field.name);
    }
    combo->setCurrentIndex(-1);
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i) == results_.findColumn_)
            combo->setCurrentIndex(i);
    if (!results_.findText_.trimmed().isEmpty())
        edit->setText(results_.findText_);
    if (QAbstractButton* mode = radio->button(results_.toolFind->property("tag").toInt()))
        mode->setChecked(true);
}

void TForm17::findBtnClick()
{
    const QString column = combo->currentIndex() < 0 ? QString() : combo->currentText();
    const QString text = edit->text().trimmed();
    if (column.isEmpty() || text.isEmpty()) {
        resetBtn->click();
        return;
    }
    if (text.contains(u'\'')) {
        dialogs::error(kQuoteForbidden);
        return;
    }
    const bool partial = radio->checkedId() == 0 && !text.contains(u'&');
    const QString clause = QStringLiteral("where ") + column + QStringLiteral(" like '") + text + (partial ? QStringLiteral("%'") : QStringLiteral("'"));
    if (isDataFieldColumn(column))
        results_.setFieldsWhere(clause);
    else
        results_.setGeneralWhere(clause);
    showSection(isDataFieldColumn(column) && results_.toolFields->isEnabled());
    accept();
}

void TForm17::resetBtnClick()
{
    edit->clear();
    combo->setCurrentIndex(-1);
    results_.setGeneralWhere({});
    results_.setFieldsWhere({});
    showSection(false);
    accept();
}

void TForm17::showSection(bool dataFields)
{
    results_.ResetView();
    results_.toolCommon->setChecked(false);
    results_.toolAnswers->setChecked(false);
    if (dataFields) {
        results_.toolFields->setChecked(true);
        results_.toolFieldsClick();
    } else {
        results_.toolCommon->setChecked(true);
        results_.toolCommonClick();
    }
}

void TForm17::helpBtnClick() { ShowHelpTopic(QStringLiteral("35")); }

}  // namespace kelvo
