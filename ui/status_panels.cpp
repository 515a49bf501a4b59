#include "ui/status_panels.h"

#include <QLabel>
#include <QStatusBar>

namespace kelvo {

QStatusBar* MakePanelStatusBar(QWidget* parent, int count, std::vector<QLabel*>& panels)
{
    auto* status = new QStatusBar(parent);
    status->setObjectName(QStringLiteral("status"));
    status->setSizeGripEnabled(false);
    for (int i = 0; i < count; ++i) {
        auto* label = new QLabel(status);
        label->setAccessibleName(QStringLiteral("Status panel %1").arg(i));
        status->addWidget(label, i == count - 1 ? 1 : 0);
        panels.push_back(label);
    }
    return status;
}

}  // namespace kelvo
