#pragma once
// Every message and question of the program goes through here, so that tests running
// offscreen can read what a person would see and answer it. The windows show them in
// message boxes (see ui's dialog service); the modules below the windows only say them.

#include <QString>
#include <QStringList>

#include <deque>
#include <exception>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace kelvo {

// Ends the current handler without a message, as a data-entry rule does after it has
// shown its own message.
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "silent abort"; }
};

enum class MessageKind { Information, Warning, Error, Question };

// What a file dialog gave: the file, and the entry of its filter that was chosen (as
// offered, e.g. "Text File (*.txt)"); both empty when the person cancels.
struct FileChoice {
    QString fileName;
    QString filter;
};

struct ShownMessage {
    MessageKind kind;
    QString text;   // as the program passed it, "\r\n" included
    QString title;  // the box's title
};

namespace dialogs {

// "\r\n" in a text is a line break.
void information(const QString& text, const QString& title = QStringLiteral("Kelvo"));
void warning(const QString& text);
void error(const QString& text);
// A question with Yes and No; only Yes gives true. `look` picks the icon (a warning
// that asks, for instance).
bool question(const QString& text, MessageKind look = MessageKind::Question);

// How a message reaches the person when no script answers it; `askYesNo` asks Yes or
// No and gives whether Yes was chosen. Until one is set, messages go to the standard
// error stream and every question is answered No.
using MessagePresenter = bool (*)(MessageKind look, const QString& text, const QString& title, bool askYesNo);
void setPresenter(MessagePresenter presenter);

}  // namespace dialogs

// While one exists, dialogs (these and the windows' file and input dialogs) are answered from its queues instead of being shown, and
// every message is recorded. A question with no queued answer is answered No, a file
// or input dialog with no queued answer is cancelled.
class DialogScript {
public:
    DialogScript();
    ~DialogScript();
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    void answerQuestion(bool yes) { questionAnswers_.push_back(yes); }
    void answerFile(const QString& path) { fileAnswers_.push_back({path, QString()}); }
    // A file dialog with a filter answered with `path` and the entry `filter`; an entry
    // the dialog does not offer chooses none. Without one the first entry is chosen.
    void answerFile(const QString& path, const QString& filter) { fileAnswers_.push_back({path, filter}); }
    // Cancel with answerInputCancel().
    void answerInput(const QString& text) { inputAnswers_.emplace_back(true, text); }
    void answerInputCancel() { inputAnswers_.emplace_back(false, QString()); }

    const std::vector<ShownMessage>& shown() const { return shown_; }
    // The texts shown so far, in order.
    QStringList texts() const;
    // The text of the last message, empty when none was shown.
    QString lastText() const;
    void clear() { shown_.clear(); }
    // The filter entries of the last file dialog that offered any.
    const QStringList& offeredFilters() const { return offeredFilters_; }

    // Used by the dialog functions.
    static DialogScript* active();
    void record(MessageKind kind, const QString& text, const QString& title = QStringLiteral("Kelvo"))
    {
        shown_.push_back({kind, text, title});
        if (onShown_)
            onShown_(shown_.back());
    }
    // Called with each message as it is shown (a question before it is answered).
    void onShown(std::function<void(const ShownMessage&)> hook) { onShown_ = std::move(hook); }
    bool nextQuestionAnswer();
    QString nextFileAnswer();
    FileChoice nextFileChoice(const QStringList& offeredFilters);
    std::optional<QString> nextInputAnswer();

private:
    std::deque<bool> questionAnswers_;
    std::deque<FileChoice> fileAnswers_;
    QStringList offeredFilters_;
    std::deque<std::pair<bool, QString>> inputAnswers_;
    std::vector<ShownMessage> shown_;
    std::function<void(const ShownMessage&)> onShown_;
    DialogScript* previous_ = nullptr;
};

}  // namespace kelvo
