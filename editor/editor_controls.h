#pragma once
// Controls the editor's pages make alike.

#include <QString>

class QPushButton;
class QWidget;

namespace kelvo {

// A button named `name` with its caption (without "&") as its accessible name.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QString& hint = {});

}  // namespace kelvo
