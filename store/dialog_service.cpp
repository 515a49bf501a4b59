#include "store/dialog_service.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace kelvo {

namespace {

DialogScript* gActiveScript = nullptr;

QString displayText(const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

QMessageBox::Icon iconFor(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Information: return QMessageBox::Information;
    case MessageKind::Warning: return QMessageBox::Warning;
    case MessageKind::Error: return QMessageBox::Critical;
    case MessageKind::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton showBox(MessageKind kind, const QString& text,
                                    QMessageBox::StandardButtons buttons,
                                    const QString& title = QStringLiteral("Kelvo"))
{
    QMessageBox box(iconFor(kind), title, displayText(text), buttons, QApplication::activeWindow());
    box.setAccessibleName(title);
    box.setAccessibleDescription(displayText(text));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void message(MessageKind kind, const QString& text, const QString& title = QStringLiteral("Kelvo"))
{
    if (DialogScript* script = DialogScript::active()) {
        script->record(kind, text, title);
        return;
    }
    showBox(kind, text, QMessageBox::Ok, title);
}

}  // namespace

namespace dialogs {

void information(const QString& text, const QString& title) { message(MessageKind::Information, text, title); }
void warning(const QString& text) { message(MessageKind::Warning, text); }
void error(const QString& text) { message(MessageKind::Error, text); }

bool question(const QString& text, MessageKind look)
{
    if (DialogScript* script = DialogScript::active()) {
        script->record(MessageKind::Question, text);
        return script->nextQuestionAnswer();
    }
    return showBox(look, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

QString openFileName(QWidget* parent, const QString& caption, const QString& filter,
                     const QString& folder)
{
    if (DialogScript* script = DialogScript::active())
        return script->nextFileAnswer();
    return QFileDialog::getOpenFileName(parent, caption, folder, filter, nullptr,
                                        QFileDialog::DontUseNativeDialog);
}

QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                     const QString& folder)
{
    if (DialogScript* script = DialogScript::active())
        return script->nextFileAnswer();
    return QFileDialog::getSaveFileName(parent, caption, folder, filter, nullptr,
                                        QFileDialog::DontUseNativeDialog);
}

std::optional<QString> inputText(QWidget* parent, const QString& caption, const QString& label,
                                 const QString& value)
{
    if (DialogScript* script = DialogScript::active())
        return script->nextInputAnswer();
    bool ok = false;
    const QString text = QInputDialog::getText(parent, caption, label, QLineEdit::Normal, value, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

}  // namespace dialogs

DialogScript::DialogScript() : previous_(gActiveScript) { gActiveScript = this; }

DialogScript::~DialogScript() { gActiveScript = previous_; }

DialogScript* DialogScript::active() { return gActiveScript; }

QStringList DialogScript::texts() const
{
    QStringList list;
    for (const ShownMessage& m : shown_)
        list << m.text;
    return list;
}

QString DialogScript::lastText() const { return shown_.empty() ? QString() : shown_.back().text; }

bool DialogScript::nextQuestionAnswer()
{
    if (questionAnswers_.empty())
        return false;
    const bool yes = questionAnswers_.front();
    questionAnswers_.pop_front();
    return yes;
}

QString DialogScript::nextFileAnswer()
{
    if (fileAnswers_.empty())
        return {};
    QString path = fileAnswers_.front();
    fileAnswers_.pop_front();
    return path;
}

std::optional<QString> DialogScript::nextInputAnswer()
{
    if (inputAnswers_.empty())
        return std::nullopt;
    const auto [given, text] = inputAnswers_.front();
    inputAnswers_.pop_front();
    if (!given)
        return std::nullopt;
    return text;
}

}  // namespace kelvo
