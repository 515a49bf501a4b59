// An edit reached by Tab, by its label's shortcut or by a click holds its text selected,
// so that what is typed replaces the value; a click into an edit that already has the
// focus places the caret, and a selection dragged with the mouse stays as dragged.
#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

// One kind of edit on a form, after a button that holds the focus first.
struct EditCase {
    const char* name;
    std::function<QWidget*(QWidget* parent)> make;
    // The text the edit shows.
    std::function<QString(QWidget*)> text;
};

QLineEdit* TextOf(QWidget* widget)
{
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit;
    return widget->findChild<QLineEdit*>();
}

// A point in `edit` at which a click puts the caret before character `position`.
QPoint Before(QLineEdit* edit, int position)
{
    const int y = edit->height() / 2;
    for (int x = 0; x < edit->width(); ++x)
        if (edit->cursorPositionAt(QPoint(x, y)) == position)
            return QPoint(x, y);
    return QPoint(edit->width() / 2, y);
}

const EditCase kEdits[] = {
    {"line edit", [](QWidget* p) { return new QLineEdit(QStringLiteral("3600"), p); },
     [](QWidget* w) { return TextOf(w)->text(); }},
    {"spin box",
     [](QWidget* p) {
         auto* spin = new QSpinBox(p);
         spin->setRange(5, 32767);
         spin->setValue(3600);
         return spin;
     },
     [](QWidget* w) { return TextOf(w)->text(); }},
    {"editable combo box",
     [](QWidget* p) {
         auto* combo = new QComboBox(p);
         combo->setEditable(true);
         combo->addItems({QStringLiteral("3600"), QStringLiteral("string")});
         return combo;
     },
     [](QWidget* w) { return TextOf(w)->text(); }},
};

enum class Reach { Tab, LabelShortcut, Click };

class SelectOnFocus : public ::testing::Test {
protected:
    // A form with a button first, then the label "&Value:" with the edit as its buddy.
    QWidget* Build(const EditCase& c)
    {
        form = std::make_unique<QWidget>();
        auto* layout = new QFormLayout(form.get());
        first = new QPushButton(QStringLiteral("First"), form.get());
        layout->addRow(first);
        QWidget* edit = c.make(form.get());
        auto* label = new QLabel(QStringLiteral("&Value:"), form.get());
        label->setBuddy(edit);
        layout->addRow(label, edit);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        first->setFocus();
        return edit;
    }

    static void Reach(QWidget* edit, enum Reach how, QWidget* from)
    {
        QLineEdit* text = TextOf(edit);
        switch (how) {
        case Reach::Tab: QTest::keyClick(from, Qt::Key_Tab); break;
        case Reach::LabelShortcut: QTest::keyClick(from, Qt::Key_V, Qt::AltModifier); break;
        case Reach::Click:
            // Into the middle of the text, where the caret would otherwise land.
            QTest::mouseClick(text, Qt::LeftButton, {}, Before(text, 2));
            break;
        }
        QCoreApplication::processEvents();
    }

    std::unique_ptr<QWidget> form;
    QPushButton* first = nullptr;
};

TEST_F(SelectOnFocus, AnEditReachedByTabShortcutOrClickHasWhatIsTypedReplaceItsText)
{
    for (const EditCase& c : kEdits)
        for (const enum Reach how : {Reach::Tab, Reach::LabelShortcut, Reach::Click}) {
            SCOPED_TRACE(std::string(c.name)
                         + (how == Reach::Tab ? " by Tab" : how == Reach::Click ? " by click" : " by shortcut"));
            QWidget* edit = Build(c);
            Reach(edit, how, first);
            ASSERT_TRUE(edit->hasFocus() || TextOf(edit)->hasFocus());
            EXPECT_EQ(TextOf(edit)->selectedText(), QStringLiteral("3600"));
            QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("120"));
            EXPECT_EQ(c.text(edit), QStringLiteral("120"));
        }
}

TEST_F(SelectOnFocus, AClickIntoAFocusedEditPlacesTheCaretAndADraggedSelectionStays)
{
    QWidget* edit = Build(kEdits[0]);
    QLineEdit* text = TextOf(edit);
    Reach(edit, Reach::Click, first);
    ASSERT_TRUE(text->hasSelectedText());
    // The second click lands on the focused edit: the caret goes where it was clicked.
    QTest::mouseClick(text, Qt::LeftButton, {}, Before(text, 0));
    EXPECT_FALSE(text->hasSelectedText());
    QTest::keyClicks(text, QStringLiteral("1"));
    EXPECT_EQ(text->text(), QStringLiteral("13600"));

    // Dragging over part of the text as the focus arrives keeps that part selected.
    text->setText(QStringLiteral("3600"));
    first->setFocus();
    const QPoint from = Before(text, 0);
    const QPoint to = Before(text, 2);
    QTest::mousePress(text, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, text->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(text, &move);
    QTest::mouseRelease(text, Qt::LeftButton, {}, to);
    EXPECT_EQ(text->selectedText(), QStringLiteral("36"));
}

}  // namespace
