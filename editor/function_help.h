#pragma once
// The help on the functions of a formula that the formula editor shows below the caret:
// a list of "key'text" lines (the single quote separates a key from its text), several
// lines sharing a key, every line of one key shown together.

#include <QString>
#include <QStringList>

namespace kelvo {

// The help list, in the order the help shows it; filled once, at first use.
const QStringList& gFunctionHelp();

// The key and the text of one line of the list.
QString FunctionHelpKey(const QString& line);
QString FunctionHelpText(const QString& line);

// The help for what stands before the caret (`before`, blanks removed): among the keys
// found in its last 10 characters the longest (on equal length the first in the list),
// every line of that key followed by a line break. Empty when `before` holds no "(" or
// no key is found.
QString FunctionHelpFor(const QString& before);

}  // namespace kelvo
