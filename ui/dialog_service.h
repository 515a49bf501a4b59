#pragma once
// The file and input dialogs of the windows, and the message boxes that show the
// program's messages. Tests answer them through a DialogScript.

#include "model/messages.h"

#include <QString>

#include <optional>

class QWidget;

namespace kelvo {

namespace dataaware {
struct Notice;
}

// Shows a data-entry rule's message or a refused write as the box of its kind, as every
// window's datasets hand them over.
void ShowNotice(const dataaware::Notice& notice);

namespace dialogs {

// Empty when the person cancels.
QString openFileName(QWidget* parent, const QString& caption, const QString& filter,
                     const QString& folder = {});
QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                     const QString& folder = {});
// A file to be made: the dialog offers no replacing of an existing file, which the
// caller refuses in its own words, so the person is asked once.
QString newFileName(QWidget* parent, const QString& caption, const QString& filter);
// A save dialog with the filter entries `filters` ("Text File (*.txt)"), the first one
// chosen at start, that asks before overwriting. A name typed without an extension gets
// the chosen entry's (`defaultSuffix` while the entry has none).
FileChoice saveFileChoice(QWidget* parent, const QString& caption, const QStringList& filters,
                          const QString& defaultSuffix);
// Nothing when the person cancels.
std::optional<QString> inputText(QWidget* parent, const QString& caption, const QString& label,
                                 const QString& value = {});

// Shows every message and question that no script answers in a message box over the
// active window.
void showInMessageBoxes();

}  // namespace dialogs

}  // namespace kelvo
