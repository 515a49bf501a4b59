#include "store/test_window.h"

namespace kelvo {

TForm2::TForm2(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("TForm2"));
}

}  // namespace kelvo
