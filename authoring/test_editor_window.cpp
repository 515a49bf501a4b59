#include "authoring/test_editor_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace kelvo {

TForm3* Form3 = nullptr;

TForm3::TForm3(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm3"));
    auto* layout = new QVBoxLayout(this);

    btnLock = new QToolButton(this);
    btnLock->setObjectName(QStringLiteral("btnLock"));
    btnLock->setCheckable(true);
    btnLock->setText(tr("&Locked"));
    btnLock->setProperty("tag", 0);
    layout->addWidget(btnLock);
    connect(btnLock, &QToolButton::clicked, this, &TForm3::btnLockClick);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setEnabled(false);
    layout->addWidget(PageControl);

    auto* properties = new QWidget(PageControl);
    properties->setObjectName(QStringLiteral("Sheet9"));
    auto* propertiesLayout = new QVBoxLayout(properties);
    const auto addCheck = [&](QCheckBox*& box, const char* name, const QString& caption) {
        box = new QCheckBox(caption, properties);
        box->setObjectName(QLatin1String(name));
        propertiesLayout->addWidget(box);
    };
    addCheck(chKeyBoard, "chKeyBoard", tr("Enable keyboard"));
    addCheck(chMultipleAnswer, "chMultipleAnswer", tr("Allow multiple answers"));
    addCheck(chAllowNoAnswer, "chAllowNoAnswer", tr("Allow no answer"));
    addCheck(chEditQuestion, "chEditQuestion", tr("Last answer editable"));
    combo1 = new QComboBox(properties);
    combo1->setObjectName(QStringLiteral("combo1"));
    combo1->setAccessibleName(tr("Answer control type"));
    combo1->addItems({tr("Speed buttons"), tr("Check boxes"), tr("Radio buttons")});
    propertiesLayout->addWidget(combo1);
    PageControl->addTab(properties, tr("Properties"));
}

// Until the settings of a test are loaded and saved from the Properties page, these
// keep the page as it stands.
void TForm3::LoadSettings() {}
bool TForm3::SaveSettings() { return true; }
void TForm3::RebindDataSets() { LoadSettings(); }

}  // namespace kelvo
