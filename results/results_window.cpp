#include "results/results_window.h"

namespace kelvo {

TForm13* Form13 = nullptr;

TForm13::TForm13(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm13"));
}

}  // namespace kelvo
