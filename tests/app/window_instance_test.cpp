#include "app/window_instance.h"
#include "editor/captions_editor_window.h"
#include "editor/clone_window.h"
#include "editor/editor_window.h"
#include "editor/formula_builder_window.h"
#include "editor/formula_editor_window.h"
#include "editor/questions_editor_window.h"
#include "results/results_window.h"
#include "ui/log_window.h"

#include <QTextEdit>
#include <gtest/gtest.h>

using namespace kelvo;

TEST(WindowInstance, GlobalPointsAtTheWindowWhileItLives)
{
    {
        WindowInstance<TForm3> form3(Form3);
        WindowInstance<TForm4> form4(Form4);
        WindowInstance<TForm5> form5(Form5);
        WindowInstance<TForm6> form6(Form6);
        WindowInstance<TForm7> form7(Form7);
        WindowInstance<TForm8> form8(Form8);
        WindowInstance<TForm13> form13(Form13);
        WindowInstance<TForm10> form10(Form10);
        EXPECT_EQ(Form3, form3.get());
        EXPECT_EQ(Form7, form7.get());
        EXPECT_EQ(Form13, form13.get());
        EXPECT_FALSE(Form3->tmpTable.isOpen());
        ASSERT_NE(Form7->editor, nullptr);
        EXPECT_TRUE(Form7->editor->isReadOnly());
    }
    EXPECT_EQ(Form3, nullptr);
    EXPECT_EQ(Form7, nullptr);
    EXPECT_EQ(Form10, nullptr);
}
