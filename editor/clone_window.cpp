#include "editor/clone_window.h"

namespace kelvo {

TForm4* Form4 = nullptr;

TForm4::TForm4(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm4"));
}

}  // namespace kelvo
