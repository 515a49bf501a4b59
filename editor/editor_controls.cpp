#include "editor/editor_controls.h"

#include <QPushButton>

namespace kelvo {

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QString& hint)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
    if (!hint.isEmpty())
        button->setToolTip(hint);
    return button;
}

}  // namespace kelvo
