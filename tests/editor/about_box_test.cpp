// The About box opened from the editor's Administrator page and closed as a person
// would close it.
#include "editor/about_box.h"
#include "tests/editor/editor_fixture.h"

#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>

using namespace kelvo;

namespace {

class AboutBox : public kelvo::testing::EditorFixture {
protected:
    void SetUp() override
    {
        NewTest(QStringLiteral("about.mdb"));
        Form3->show();
        Form3->PageControl->setCurrentWidget(Form3->Sheet9);
    }
};

QStringList LabelTexts(const TForm18& box)
{
    QStringList texts;
    for (const QLabel* label : {box.ProductName, box.Version, box.Copyright, box.Maker, box.Contact})
        texts << label->text();
    return texts;
}

// Every control a screen reader reaches says what it is.
QStringList UnnamedControls(const TForm18& box)
{
    QStringList unnamed;
    for (const QWidget* widget : box.findChildren<QWidget*>()) {
        const auto* label = qobject_cast<const QLabel*>(widget);
        const auto* button = qobject_cast<const QAbstractButton*>(widget);
        const bool captioned = (label && !label->text().isEmpty()) || (button && !button->text().isEmpty());
        if (widget->parentWidget() == &box && !captioned && widget->accessibleName().isEmpty())
            unnamed << widget->objectName();
    }
    return unnamed;
}

TEST_F(AboutBox, ShowsTheProgramAndClosesByOkOrEsc)
{
    const struct {
        const char* how;
        std::function<void(TForm18*)> close;
        int result;
    } cases[] = {
        {"OK", [](TForm18* box) { QTest::mouseClick(box->OKButton, Qt::LeftButton); }, QDialog::Accepted},
        {"Esc", [](TForm18* box) { QTest::keyClick(box, Qt::Key_Escape); }, QDialog::Rejected},
    };
    for (const auto& c : cases) {
        QPointer<TForm18> shown;
        int result = -1;
        QStringList labels;
        QString credits;
        bool readOnly = false;
        QStringList unnamed;
        QString title;
        kelvo::testing::answerModal<TForm18>([&](TForm18* box) {
            shown = box;
            title = box->windowTitle();
            labels = LabelTexts(*box);
            credits = box->Memo1->toPlainText();
            readOnly = box->Memo1->isReadOnly();
            unnamed = UnnamedControls(*box);
            if (const QString out = qEnvironmentVariable("KELVO_SCREENSHOT_DIR"); !out.isEmpty())
                box->grab().save(QDir(out).filePath(QStringLiteral("about_box.png")));
            QObject::connect(box, &QDialog::finished, [&result](int r) { result = r; });
            c.close(box);
        });
        QTest::mouseClick(Form3->Button1, Qt::LeftButton);

        SCOPED_TRACE(c.how);
        EXPECT_EQ(result, c.result);
        EXPECT_TRUE(shown.isNull()) << "the box is freed once closed";
        EXPECT_EQ(title, "About Kelvo");
        EXPECT_EQ(labels, (QStringList{"Kelvo", "Version: 3.0", "This is a free computer program",
                                       "Kelvo developers", kSupportAddress}));
        EXPECT_TRUE(readOnly);
        EXPECT_TRUE(credits.contains("exco")) << credits.toStdString();
        EXPECT_TRUE(credits.contains("version 3.0")) << credits.toStdString();
        EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(' ').toStdString();
    }
}

}  // namespace
