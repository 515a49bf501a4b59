// The editor's structure report: the whole open test written into the log window for
// the author to read, save or print.

#include "data/database.h"
#include "data/session.h"
#include "editor/editor_window.h"
#include "ui/log_window.h"
#include "ui/wait_window.h"

#include <QPushButton>

namespace kelvo {

namespace {

const QColor kFileTitleColour(0x00, 0x00, 0xFF);
const QColor kSectionColour(0xFF, 0x00, 0x00);

class StructureWriter {
public:
    explicit StructureWriter(TForm7& log) : log_(log) {}

    void fileTitle(const QString& path)
    {
        log_.ResetLogFormat();
        log_.AddLogTitle(2, QStringLiteral("File: ") + path, Qt::AlignHCenter, 24, true, false, kFileTitleColour);
    }

    // A section is written only when its statement gives rows, so that an empty part of
    // the test leaves no bare title behind.
    template <class WriteRows>
    void section(const QString& title, const QString& sql, WriteRows writeRows)
    {
        const RowSet rows = SelectToVariant(sql);
        if (rows.isNull())
            return;
        log_.AddLogTitle(1, title, Qt::AlignHCenter, 20, true, false, kSectionColour);
        for (int r = 0; r < rows.rows(); ++r)
            writeRows(rows, r);
    }

    void line(const QString& text) { log_.AddLogLine(text, 10, false, false, Qt::black); }

private:
    TForm7& log_;
};

void WriteQuestion(StructureWriter& out, const RowSet& items, int r)
{
    const QString id = items.text(r, 0);
    out.line(QStringLiteral("item") + id);
    out.line(items.text(r, 1));
    const RowSet answers =
        SelectToVariant(QStringLiteral("select caption from answers where itemid = %1 order by id;").arg(id));
    for (int a = 0; a < answers.rows(); ++a)
        out.line(QStringLiteral("\t") + answers.text(a, 0));
}

void WriteVariable(StructureWriter& out, const RowSet& variables, int r)
{
    const QString name = QStringLiteral("var") + variables.text(r, 0);
    out.line(name + QStringLiteral("   (") + variables.text(r, 2) + QStringLiteral(")"));
    out.line(QStringLiteral("Initialization:   ") + name + QStringLiteral(":= ") + variables.text(r, 1));
    const QString assigned = variables.at(r, 3).toBool() ? name + QStringLiteral(":= ") + name + QStringLiteral(" + ")
                                                         : name + QStringLiteral(":= ");
    const RowSet formulas = SelectToVariant(
        QStringLiteral("select formula from formula where varID = %1 order by autoID;").arg(variables.text(r, 0)));
    for (int f = 0; f < formulas.rows(); ++f)
        out.line(assigned + formulas.text(f, 0));
}

bool KeyboardOn()
{
    const RowSet on = SelectToVariant(QStringLiteral("select count(*) from testd where id = -19 and v = 'true';"));
    return !on.isNull() && on.integer(0, 0) == 1;
}

}  // namespace

void TForm3::WriteTestStructure()
{
    if (!Session::current().con.isOpen() || !Form7)
        return;
    StructureWriter out(*Form7);
    out.fileTitle(Session::current().testFile);
    out.section(QStringLiteral("Questions and answers"), QStringLiteral("select id, caption from items order by id"),
                [&out](const RowSet& rows, int r) { WriteQuestion(out, rows, r); });
    out.section(QStringLiteral("User-defined fields"), QStringLiteral("select id, ftype, caption from userf order by 1;"),
                [&out](const RowSet& rows, int r) {
                    out.line(QStringLiteral("data") + rows.text(r, 0) + QStringLiteral("\t") + rows.text(r, 1) +
                             QStringLiteral("\t") + rows.text(r, 2));
                });
    out.section(QStringLiteral("Variables"), QStringLiteral("select id, start, caption, cumul from variables order by 1;"),
                [&out](const RowSet& rows, int r) { WriteVariable(out, rows, r); });
    if (KeyboardOn())
        out.section(QStringLiteral("Keyboard "), QStringLiteral("select id, k from keyb order by 1;"),
                    [&out](const RowSet& rows, int r) {
                        out.line(QStringLiteral("Answer: ") + rows.text(r, 0) + QStringLiteral("\tKey: ") +
                                 rows.text(r, 1));
                    });
    out.section(QStringLiteral("Test design properties"), QStringLiteral("select d, v from testd where id > 0 order by id;"),
                [&out](const RowSet& rows, int r) { out.line(rows.text(r, 0) + QStringLiteral("\t") + rows.text(r, 1)); });
}

void TForm3::btnStructureClick()
{
    btnStructure->setEnabled(false);
    {
        // The button comes back even when the report fails, so the author can try again.
        struct Reenable {
            QPushButton* button;
            ~Reenable() { button->setEnabled(true); }
        } reenable{btnStructure};
        const WaitWindowScope wait(QStringLiteral("Preparation of the structure of the test.."));
        WriteTestStructure();
    }
    if (Form7)
        Form7->exec();
}

}  // namespace kelvo
