#pragma once
// What a data-entry rule decides, and a message it wants shown. The layer shows
// nothing itself: it hands every message to the handler the window supplies, which
// shows it through the program's dialog service.

#include <QString>

#include <utility>

namespace kelvo::dataaware {

enum class NoticeKind { Information, Warning, Error };

struct Notice {
    NoticeKind kind = NoticeKind::Warning;
    QString text;
};

// A rule either lets the action go on, refuses it with a message, or ends it silently
// (after showing its own message, for instance). A refused or aborted post keeps the
// row in edit state with everything typed and everything the rule changed.
class Verdict {
public:
    static Verdict proceed() { return Verdict(Outcome::Proceed, {}); }
    static Verdict refuse(const QString& text, NoticeKind kind = NoticeKind::Warning)
    {
        return Verdict(Outcome::Refuse, Notice {kind, text});
    }
    static Verdict abort() { return Verdict(Outcome::Abort, {}); }

    bool proceeds() const { return outcome_ == Outcome::Proceed; }
    bool hasNotice() const { return outcome_ == Outcome::Refuse; }
    const Notice& notice() const { return notice_; }

private:
    enum class Outcome { Proceed, Refuse, Abort };
    Verdict(Outcome outcome, Notice notice) : outcome_(outcome), notice_(std::move(notice)) { }

    Outcome outcome_;
    Notice notice_;
};

}  // namespace kelvo::dataaware
