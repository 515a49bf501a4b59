#include "editor/questions_editor_window.h"

namespace kelvo {

TForm8* Form8 = nullptr;

TForm8::TForm8(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm8"));
}

}  // namespace kelvo
