#include "editor/editor_controls.h"

#include "dataaware/verdict.h"
#include "ui/dialog_service.h"

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

void ShowNotice(const dataaware::Notice& notice)
{
    switch (notice.kind) {
    case dataaware::NoticeKind::Information: dialogs::information(notice.text); break;
    case dataaware::NoticeKind::Warning: dialogs::warning(notice.text); break;
    case dataaware::NoticeKind::Error: dialogs::error(notice.text); break;
    }
}

}  // namespace kelvo
