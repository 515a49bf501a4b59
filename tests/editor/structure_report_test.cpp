// The editor's Structure button: the report of a test made by the program, read back
// from the log window it opens.
#include "tests/editor/editor_fixture.h"
#include "tests/support/rtf_test_support.h"
#include "ui/log_window.h"
#include "ui/wait_window.h"

#include <QTextBlock>
#include <QTextEdit>

#include <map>

using namespace kelvo;
using kelvo::rtf_check::runOf;
using kelvo::rtf_check::StyledRun;

namespace {

// The report as the author sees it: the file title, and each section's lines under its
// title in the order written (blank lines left out).
struct Report {
    StyledRun fileTitle;
    std::vector<QString> sectionOrder;
    std::map<QString, QStringList> sections;
    std::map<QString, StyledRun> sectionTitles;
    std::vector<StyledRun> lines;
};

Report ReadReport(const QTextDocument& document)
{
    Report report;
    QString current;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.text().isEmpty())
            continue;
        const StyledRun run = runOf(block.begin().fragment());
        if (report.fileTitle.text.isEmpty()) {
            report.fileTitle = run;
        } else if (run.points == 20) {
            current = block.text();
            report.sectionOrder.push_back(current);
            report.sectionTitles[current] = run;
        } else {
            report.sections[current] << block.text();
            report.lines.push_back(run);
        }
    }
    return report;
}

class StructureReport : public kelvo::testing::EditorFixture {
protected:
    void SetUp() override
    {
        path = NewTest(QStringLiteral("structure.mdb"));
        Form3->PageControl->setCurrentWidget(Form3->Sheet8);
    }

    // Clicks Structure and reads the log window it opens modally, then closes it.
    Report ClickStructure()
    {
        Report report;
        bool shown = false;
        kelvo::testing::answerModal<TForm7>([&](TForm7* log) {
            shown = true;
            buttonEnabledWhileShown = Form3->btnStructure->isEnabled();
            for (QWidget* widget : QApplication::topLevelWidgets())
                waitWindowStillShown |= qobject_cast<TForm16*>(widget) && widget->isVisible();
            report = ReadReport(*log->editor->document());
            log->reject();
        });
        QTest::mouseClick(Form3->btnStructure, Qt::LeftButton);
        EXPECT_TRUE(shown);
        return report;
    }

    static void Exec(const QString& sql) { ExecSQL(sql); }

    QString path;
    bool buttonEnabledWhileShown = false;
    bool waitWindowStillShown = false;
    WindowInstance<TForm7> form7{Form7};
};

TEST_F(StructureReport, WritesEverySectionOfAFullTest)
{
    Exec("delete from items");
    Exec("insert into items (id, caption) values (1, 'How old are you?')");
    Exec("insert into items (id, caption) values (2, 'Do you smoke?')");
    Exec("insert into answers (itemid, caption) values (1, 'under 30')");
    Exec("insert into answers (itemid, caption) values (1, '30 or more')");
    Exec("insert into answers (itemid, caption) values (2, 'yes')");
    Exec("insert into userf (id, posit, caption, ftype) values (1, 1, 'Name', 'string')");
    Exec("insert into variables (id, caption, cumul, start) values (1, 'Score', true, 2.5)");
    Exec("insert into variables (id, caption, cumul, start) values (2, 'Level', false, 0)");
    for (const char* statement : {"insert into formula (varid, formula) values (1, 'item1=1')",
                                  "insert into formula (varid, formula) values (2, 'var1*2')",
                                  "insert into formula (varid, formula) values (1, 'item2=1')",
                                  "insert into formula (varid, formula) values (2, '7')"})
        Exec(statement);
    Exec("update testd set v = 'true' where id = -19");
    Exec("update testd set d = 'Title', v = 'Smoking' where id = 1");

    const Report report = ClickStructure();

    EXPECT_TRUE(buttonEnabledWhileShown);
    EXPECT_FALSE(waitWindowStillShown);
    EXPECT_EQ(report.fileTitle, (StyledRun{"File: " + path, true, false, false, QColor(Qt::blue), 24, {}}));
    EXPECT_EQ(report.sectionOrder, (std::vector<QString>{"Questions and answers", "User-defined fields", "Variables",
                                                         "Keyboard ", "Test design properties"}));
    for (const auto& [title, run] : report.sectionTitles)
        EXPECT_EQ(run, (StyledRun{title, true, false, false, QColor(Qt::red), 20, {}}));
    for (const StyledRun& line : report.lines) {
        EXPECT_EQ(line.points, 10) << line;
        EXPECT_EQ(line.colour, QColor(Qt::black)) << line;
    }

    EXPECT_EQ(report.sections.at("Questions and answers"),
              (QStringList{"item1", "How old are you?", "\tunder 30", "\t30 or more", "item2", "Do you smoke?", "\tyes"}));
    EXPECT_EQ(report.sections.at("User-defined fields"), QStringList{"data1\tstring\tName"});
    EXPECT_EQ(report.sections.at("Variables"),
              (QStringList{"var1   (Score)", "Initialization:   var1:= 2.5", "var1:= var1 + item1=1",
                           "var1:= var1 + item2=1", "var2   (Level)", "Initialization:   var2:= 0",
                           "var2:= var1*2", "var2:= 7"}));
    const QStringList keys = report.sections.at("Keyboard ");
    ASSERT_FALSE(keys.isEmpty());
    EXPECT_EQ(keys.first(), "Answer: 1\tKey: " +
                                SelectToVariant(QStringLiteral("select k from keyb where id = 1")).text(0, 0));
    EXPECT_EQ(report.sections.at("Test design properties").first(), "Title\tSmoking");
}

TEST_F(StructureReport, KeyboardSectionOnlyWhileTheKeyboardIsOn)
{
    ASSERT_FALSE(SelectToVariant(QStringLiteral("select id from keyb")).isNull());
    const struct {
        const char* stored;
        bool shown;
    } cases[] = {{"true", true}, {"false", false}, {"", false}};
    for (const auto& c : cases) {
        Exec(QStringLiteral("update testd set v = '%1' where id = -19").arg(QLatin1String(c.stored)));
        Form7->editor->clear();
        const Report report = ClickStructure();
        EXPECT_EQ(report.sections.count(QStringLiteral("Keyboard ")) == 1, c.shown) << c.stored;
    }
}

// A new test has a question but neither data fields nor variables.
TEST_F(StructureReport, LeavesOutEmptySectionsWithTheirTitles)
{
    Exec("update items set caption = 'Only question' where id = 1");
    Exec("delete from answers");
    Exec("update testd set v = 'false' where id = -19");

    const Report report = ClickStructure();

    EXPECT_EQ(report.sectionOrder, (std::vector<QString>{"Questions and answers", "Test design properties"}));
    EXPECT_EQ(report.sections.at("Questions and answers"), (QStringList{"item1", "Only question"}));
}

TEST_F(StructureReport, WritesNothingWithoutAnOpenTest)
{
    Form1->con.close();
    Form3->WriteTestStructure();
    EXPECT_TRUE(Form7->editor->toPlainText().isEmpty());
}

}  // namespace
