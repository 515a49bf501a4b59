#pragma once
// Controls the editor's pages make alike.

#include <QString>

class QPushButton;
class QWidget;

namespace kelvo {

namespace dataaware {
struct Notice;
}

// Shows a data-entry rule's message or a refused write as the box of its kind.
void ShowNotice(const dataaware::Notice& notice);

// A button named `name` with its caption (without "&") as its accessible name.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QString& hint = {});

}  // namespace kelvo
