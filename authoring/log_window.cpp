#include "authoring/log_window.h"

#include <QTextEdit>
#include <QVBoxLayout>

namespace kelvo {

TForm7* Form7 = nullptr;

TForm7::TForm7(QWidget* parent) : QDialog(parent), editor(new QTextEdit(this))
{
    setObjectName(QStringLiteral("TForm7"));
    editor->setObjectName(QStringLiteral("editor"));
    editor->setAccessibleName(QStringLiteral("Log"));
    editor->setReadOnly(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(editor);
}

}  // namespace kelvo
