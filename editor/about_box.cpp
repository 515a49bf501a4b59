#include "editor/about_box.h"

#include "model/values.h"

#include <QApplication>
#include <QFont>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <memory>

namespace kelvo {

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAccessibleName(text);
    return label;
}

// The program has no icon file of its own; the application's icon stands in when set.
QPixmap ProgramPixmap(const QWidget& widget)
{
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = widget.style()->standardIcon(QStyle::SP_ComputerIcon);
    return icon.pixmap(48, 48);
}

}  // namespace

TForm18::TForm18(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm18"));
    setWindowTitle(QStringLiteral("About Kelvo"));

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setAccessibleName(QStringLiteral("Kelvo icon"));
    ProgramIcon->setPixmap(ProgramPixmap(*this));
    ProductName = MakeLabel(this, "ProductName", QStringLiteral("Kelvo"));
    QFont nameFont = ProductName->font();
    nameFont.setPointSize(nameFont.pointSize() * 2);
    nameFont.setBold(true);
    ProductName->setFont(nameFont);
    Version = MakeLabel(this, "Version", QStringLiteral("Version: 3.0"));
    Copyright = MakeLabel(this, "Copyright", QStringLiteral("This is a free computer program"));
    Maker = MakeLabel(this, "Maker", QStringLiteral("Kelvo developers"));
    Contact = MakeLabel(this, "Contact", kSupportAddress);
    Contact->setTextInteractionFlags(Qt::TextSelectableByMouse);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setAccessibleName(QStringLiteral("Credits"));
    Memo1->setReadOnly(true);
    Memo1->setPlainText(QStringLiteral(
        "Formulas are compiled by exco, Kelvo's own x87 expression compiler, version 3.0.\n"
        "It turns each formula of a test into machine code once per run."));

    OKButton = new QPushButton(QStringLiteral("&OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setAccessibleName(QStringLiteral("OK"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* header = new QHBoxLayout;
    header->addWidget(ProgramIcon, 0, Qt::AlignTop);
    auto* names = new QVBoxLayout;
    for (QLabel* label : {ProductName, Version, Copyright, Maker, Contact})
        names->addWidget(label);
    header->addLayout(names, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addWidget(Memo1, 1);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    resize(380, 300);
}

void TForm18::keyPressEvent(QKeyEvent* event) { FormKeyDown(event); }

void TForm18::FormKeyDown(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

int ShowAboutBox(QWidget* parent)
{
    const auto box = std::make_unique<TForm18>(parent);
    return box->exec();
}

}  // namespace kelvo
