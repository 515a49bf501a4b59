#include "editor/formula_defaults_window.h"

#include "data/database.h"
#include "model/settings_rows.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/help.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <QVBoxLayout>

#include <cmath>

namespace kelvo {

bool gFormulaDefaultsValid = false;

namespace {

bool IsNumberCharacter(QChar ch) { return ch.isDigit() || ch == u'-' || ch == u'.'; }

// Refuses a paste that holds anything else than number characters (and blanks).
class NumberTextValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        for (const QChar ch : input)
            if (!IsNumberCharacter(ch) && ch != u' ')
                return Invalid;
        return Acceptable;
    }
};

// Drops the typed characters that cannot stand in a number.
class NumberKeys : public QObject {
public:
    explicit NumberKeys(QLineEdit* edit) : QObject(edit)
    {
        edit->installEventFilter(this);
        edit->setValidator(new NumberTextValidator(edit));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (text.isEmpty() || !text.at(0).isPrint())
            return QObject::eventFilter(watched, event);
        for (const QChar ch : text)
            if (!IsNumberCharacter(ch))
                return true;
        return QObject::eventFilter(watched, event);
    }
};

QLineEdit* DefaultEdit(QWidget* parent, QFormLayout* form, const char* name, const QString& caption,
                       const QString& initial)
{
    auto* edit = new QLineEdit(initial, parent);
    edit->setObjectName(QLatin1String(name));
    edit->setAccessibleName(caption);
    AcceptNumberKeysOnly(edit);
    auto* label = new QLabel(caption, parent);
    label->setBuddy(edit);
    form->addRow(label, edit);
    return edit;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

std::map<int, QString> ReadFormulaDefaults()
{
    std::map<int, QString> defaults;
    const RowSet rows = SelectToVariant(QStringLiteral("select id, v from testd where id between -15 and -18;"));
    for (int r = 0; r < rows.rows(); ++r)
        if (!rows.at(r, 1).isNull())
            defaults[rows.integer(r, 0)] = rows.text(r, 1);
    return defaults;
}

void AcceptNumberKeysOnly(QLineEdit* edit) { new NumberKeys(edit); }

TForm12::TForm12(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm12"));
    setWindowTitle(QStringLiteral("Set default values"));

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    editTrue = DefaultEdit(this, form, "editTrue", QStringLiteral("Default Value if true"), QStringLiteral("1"));
    editFalse = DefaultEdit(this, form, "editFalse", QStringLiteral("Default Value if false"), QStringLiteral("0"));
    editFirstAnswer = DefaultEdit(this, form, "editFirstAnswer", QStringLiteral("Value for first answer in question"),
                                  QStringLiteral("1"));
    editStep = DefaultEdit(this, form, "editStep", QStringLiteral("Step"), QStringLiteral("1"));
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    btnHelp = Button(this, "btnHelp", QStringLiteral("Help"));
    btnOK = Button(this, "btnOK", QStringLiteral("&Save"));
    btnOK->setDefault(true);
    btnCancel = Button(this, "btnCancel", QStringLiteral("&Cancel"));
    buttons->addWidget(btnHelp);
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);

    connect(btnHelp, &QPushButton::clicked, this, guardedSlot([] { ShowHelpTopic(QStringLiteral("21")); }));
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, [this] {
        cancelled_ = true;
        reject();
    });
}

void TForm12::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    guarded([this] { FormShow(); });
}

void TForm12::FormShow()
{
    cancelled_ = false;
    const std::map<int, QString> defaults = ReadFormulaDefaults();
    const std::pair<SettingId, QLineEdit*> rows[] = {{SettingId::BuilderTrueValue, editTrue},
                                                     {SettingId::BuilderFalseValue, editFalse},
                                                     {SettingId::BuilderFirstAnswerValue, editFirstAnswer},
                                                     {SettingId::BuilderStep, editStep}};
    for (const auto& [id, edit] : rows)
        if (const auto found = defaults.find(settingNumber(id)); found != defaults.end())
            edit->setText(found->second);
}

void TForm12::keyPressEvent(QKeyEvent* event)
{
    // Esc is the Cancel button.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        btnCancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TForm12::ValidateDefaults()
{
    for (const QLineEdit* edit : {editTrue, editFalse, editFirstAnswer, editStep}) {
        if (!IsNumber(QString(edit->text()).replace(u'.', LocaleDecimalSeparator()), false))
            return false;
        // Digits beyond the Double range make no value a formula can take.
        const std::optional<double> value = TextToNumber(edit->text());
        if (!value || !std::isfinite(*value))
            return false;
    }
    gFormulaDefaultsValid = true;
    return true;
}

void TForm12::done(int result)
{
    bool closes = true;
    guarded([&] { closes = FormCloseQuery(); });
    if (!closes) {
        cancelled_ = false;
        return;
    }
    guarded([this] { FormClose(); });
    QDialog::done(result);
}

bool TForm12::FormCloseQuery()
{
    gFormulaDefaultsValid = false;
    if (ValidateDefaults())
        return true;
    return dialogs::question(QStringLiteral("Settings are not correct!\r\n\r\nThey can't be saved to database!\r\n\r\n"
                                            "Close without save?"),
                             MessageKind::Error);
}

void TForm12::FormClose()
{
    if (!gFormulaDefaultsValid || cancelled_)
        return;
    const std::pair<QLineEdit*, SettingId> rows[] = {{editTrue, SettingId::BuilderTrueValue},
                                                     {editFalse, SettingId::BuilderFalseValue},
                                                     {editFirstAnswer, SettingId::BuilderFirstAnswerValue},
                                                     {editStep, SettingId::BuilderStep}};
    for (const auto& [edit, id] : rows)
        ExecSQL(textUpdateStatement(id, edit->text()));
}

}  // namespace kelvo
