#include "editor/formula_editor_window.h"

namespace kelvo {

TForm6* Form6 = nullptr;

TForm6::TForm6(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm6"));
}

}  // namespace kelvo
