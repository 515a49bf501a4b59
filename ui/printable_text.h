#pragma once
// What a one-line edit accepts from the keyboard or a paste: printable text. A control
// character means nothing in a name, a password, a search text, a typed answer or a data
// field, and a NUL cut the statements the text went into short.

#include <QString>

class QLineEdit;

namespace kelvo {

// `text` with every line break and tab turned into one blank, so that the words stay
// apart, and every other control character left out.
QString PrintableText(const QString& text);

// Makes `edit` hold only PrintableText: whatever is typed, pasted or set is cleaned
// before the edit takes it (and before its textEdited handlers see it).
void KeepPrintable(QLineEdit* edit);

}  // namespace kelvo
