#include "editor/formula_builder_window.h"

namespace kelvo {

TForm5* Form5 = nullptr;

TForm5::TForm5(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm5"));
}

}  // namespace kelvo
