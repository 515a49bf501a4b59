#include "editor/captions_editor_window.h"

namespace kelvo {

TForm10* Form10 = nullptr;

TForm10::TForm10(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm10"));
}

}  // namespace kelvo
