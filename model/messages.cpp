#include "model/messages.h"

#include <cstdio>

namespace kelvo {

namespace {

DialogScript* gActiveScript = nullptr;
dialogs::MessagePresenter gPresenter = nullptr;

bool present(MessageKind look, const QString& text, const QString& title, bool askYesNo)
{
    if (gPresenter)
        return gPresenter(look, text, title, askYesNo);
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(title), qUtf8Printable(text));
    return false;
}

void message(MessageKind kind, const QString& text, const QString& title = QStringLiteral("Kelvo"))
{
    if (DialogScript* script = DialogScript::active()) {
        script->record(kind, text, title);
        return;
    }
    present(kind, text, title, false);
}

}  // namespace

namespace dialogs {

void setPresenter(MessagePresenter presenter) { gPresenter = presenter; }

void information(const QString& text, const QString& title) { message(MessageKind::Information, text, title); }
void warning(const QString& text) { message(MessageKind::Warning, text); }
void error(const QString& text) { message(MessageKind::Error, text); }

bool question(const QString& text, MessageKind look)
{
    if (DialogScript* script = DialogScript::active()) {
        script->record(MessageKind::Question, text);
        return script->nextQuestionAnswer();
    }
    return present(look, text, QStringLiteral("Kelvo"), true);
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
    QString path = fileAnswers_.front().fileName;
    fileAnswers_.pop_front();
    return path;
}

FileChoice DialogScript::nextFileChoice(const QStringList& offeredFilters)
{
    offeredFilters_ = offeredFilters;
    if (fileAnswers_.empty())
        return {};
    FileChoice choice = fileAnswers_.front();
    fileAnswers_.pop_front();
    if (choice.filter.isEmpty())
        choice.filter = offeredFilters.value(0);
    else if (!offeredFilters.contains(choice.filter))
        choice.filter.clear();
    return choice;
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
