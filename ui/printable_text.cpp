#include "ui/printable_text.h"

#include <QLineEdit>
#include <QValidator>

#include <algorithm>

namespace kelvo {

namespace {

// Cleans the text in place and keeps the cursor after what stood before it, so that a
// paste in the middle of a text leaves the cursor where the paste ended.
class PrintableTextValidator : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& position) const override
    {
        const QString cleaned = PrintableText(input);
        if (cleaned != input) {
            position = std::min<int>(static_cast<int>(PrintableText(input.left(position)).size()),
                                     static_cast<int>(cleaned.size()));
            input = cleaned;
        }
        return Acceptable;
    }
};

}  // namespace

QString PrintableText(const QString& text)
{
    QString printable;
    printable.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            continue;  // the line break is the LF that follows
        if (c == u'\r' || c == u'\n' || c == u'\t')
            printable += u' ';
        else if (c.category() != QChar::Other_Control)
            printable += c;
    }
    return printable;
}

void KeepPrintable(QLineEdit* edit) { edit->setValidator(new PrintableTextValidator(edit)); }

}  // namespace kelvo
