#include "authoring/test_editor_window.h"

namespace kelvo {

TForm3* Form3 = nullptr;

TForm3::TForm3(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm3"));
}

}  // namespace kelvo
