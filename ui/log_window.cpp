#include "ui/log_window.h"

#include "data/database.h"
#include "model/rtf_writer.h"
#include "ui/application.h"
#include "ui/busy_control.h"
#include "ui/dialog_service.h"
#include "ui/help.h"
#include "ui/wait_window.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTextList>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace kelvo {

TForm7* Form7 = nullptr;

namespace {

const QString kSaveCaption = QStringLiteral("Save as");
const QString kSaveFilter = QStringLiteral("Rich Text Files (*.rtf)");
const QString kDefaultSuffix = QStringLiteral("rtf");

// The open test, read and changed on the program's connection.
class OpenTestFormulaCheck final : public FormulaCheckTarget {
public:
    std::vector<FormulaMessageRow> CheckAllFormulasSyntax() override { return kelvo::CheckAllFormulasSyntax(); }
    std::vector<FormulaMessageRow> CheckAllFormulaReferences() override
    {
        return kelvo::CheckAllFormulaReferences();
    }
    void ExecSQL(const QString& statement) override { kelvo::ExecSQL(statement); }
};

QAction* addEntry(QMenu* menu, const QString& objectName, const QString& caption)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(objectName);
    return action;
}

}  // namespace

FormulaDeleteList BuildFormulaDeleteList(const std::vector<FormulaMessageRow>& syntaxRows,
                                         const std::vector<FormulaMessageRow>& referenceRows)
{
    QStringList ids;
    std::set<int> syntaxIds;
    for (const FormulaMessageRow& row : syntaxRows) {
        ids << QString::number(row.autoid);
        syntaxIds.insert(row.autoid);
    }
    for (const FormulaMessageRow& row : referenceRows)
        if (!syntaxIds.contains(row.autoid))
            ids << QString::number(row.autoid);
    return {u'(' + ids.join(u',') + u')', static_cast<int>(ids.size())};
}

TForm7::TForm7(QWidget* parent)
    : QDialog(parent),
      editor(new QTextEdit(this)),
      menu(new QMenuBar(this)),
      OpenFile(menu->addMenu(QStringLiteral("File"))),
      saveFile(addEntry(OpenFile, QStringLiteral("saveFile"), QStringLiteral("Save"))),
      clearLog(addEntry(OpenFile, QStringLiteral("clearLog"), QStringLiteral("Clear Log"))),
      formulaDebug(addEntry(OpenFile, QStringLiteral("formulaDebug"), QStringLiteral("Debug formula"))),
      Help(addEntry(OpenFile, QStringLiteral("Help"), QStringLiteral("Help"))),
      openTest_(std::make_unique<OpenTestFormulaCheck>()),
      formulaCheckTarget_(openTest_.get())
{
    setObjectName(QStringLiteral("TForm7"));
    setWindowTitle(QStringLiteral("Log form"));
    resize(600, 400);
    setMinimumSize(400, 300);

    menu->setObjectName(QStringLiteral("menu"));
    OpenFile->setObjectName(QStringLiteral("OpenFile"));
    editor->setObjectName(QStringLiteral("editor"));
    editor->setAccessibleName(QStringLiteral("Log"));
    editor->setReadOnly(true);
    editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    editor->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setMenuBar(menu);
    layout->addWidget(editor);

    connect(saveFile, &QAction::triggered, this, guardedSlot([this] { saveFileClick(); }));
    connect(clearLog, &QAction::triggered, this, guardedSlot([this] { clearLogClick(); }));
    connect(formulaDebug, &QAction::triggered, this, guardedSlot([this] { DebugformulaClick(); }));
    connect(Help, &QAction::triggered, this, guardedSlot([this] { HelpClick(); }));
    ResetLogFormat();
}

TForm7::~TForm7() = default;

void TForm7::setFormulaCheckTarget(FormulaCheckTarget* target)
{
    formulaCheckTarget_ = target ? target : openTest_.get();
}

void TForm7::moveCaretToEnd()
{
    QTextCursor cursor = editor->textCursor();
    cursor.movePosition(QTextCursor::End);
    editor->setTextCursor(cursor);
}

// Paragraph attributes belong to the paragraph at the caret, the log's last one.
void TForm7::applyParagraphFormat()
{
    QTextCursor cursor(editor->document());
    cursor.movePosition(QTextCursor::End);
    if (QTextList* list = cursor.currentList())
        list->remove(cursor.block());
    cursor.setBlockFormat(paragraphFormat_);
}

void TForm7::insertText(const QString& text)
{
    applyParagraphFormat();
    QTextCursor cursor(editor->document());
    cursor.movePosition(QTextCursor::End);
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    cursor.insertText(lines, insertFormat_);
    moveCaretToEnd();
}

void TForm7::breakLine()
{
    applyParagraphFormat();
    QTextCursor cursor(editor->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertBlock(paragraphFormat_, insertFormat_);
    moveCaretToEnd();
}

bool TForm7::lastLineIsEmpty() const { return editor->document()->lastBlock().length() <= 1; }

void TForm7::ResetLogFormat()
{
    paragraphFormat_ = QTextBlockFormat();
    paragraphFormat_.setAlignment(Qt::AlignLeft);
    paragraphFormat_.setTextIndent(20);
    paragraphFormat_.setTabPositions({QTextOption::Tab(100, QTextOption::LeftTab),
                                      QTextOption::Tab(200, QTextOption::LeftTab)});
    insertFormat_ = QTextCharFormat();
    insertFormat_.setFontPointSize(10);
    insertFormat_.setFontWeight(QFont::Normal);
    insertFormat_.setFontItalic(false);
    insertFormat_.setFontUnderline(false);
    insertFormat_.setFontStrikeOut(false);
    insertFormat_.setForeground(QColor(Qt::black));
    moveCaretToEnd();
    applyParagraphFormat();
}

// Size and colour replace the current ones; bold and italic are added to the style.
void TForm7::setTextStyle(int size, bool bold, bool italic, const QColor& colour)
{
    insertFormat_.setFontPointSize(size);
    if (bold)
        insertFormat_.setFontWeight(QFont::Bold);
    if (italic)
        insertFormat_.setFontItalic(true);
    insertFormat_.setForeground(colour);
}

void TForm7::AddLogTitle(int BlankLines, const QString& Text, Qt::Alignment Alignment, int Size, bool Bold,
                         bool Italic, const QColor& Color)
{
    const int blankLines = std::max(0, BlankLines);
    moveCaretToEnd();
    if (!editor->document()->isEmpty()) {
        if (!lastLineIsEmpty())
            breakLine();  // the title starts a line of its own
        for (int i = 0; i < blankLines; ++i)
            breakLine();
    }
    paragraphFormat_.setAlignment(Alignment);
    setTextStyle(Size, Bold, Italic, Color);
    insertText(Text);
    // One break ends the title's line, the others leave blank lines after it.
    for (int i = 0; i <= blankLines; ++i)
        breakLine();
}

void TForm7::AddLogLine(const QString& Text, int Size, bool Bold, bool Italic, const QColor& Color)
{
    moveCaretToEnd();
    paragraphFormat_.setTextIndent(20);
    paragraphFormat_.setAlignment(Qt::AlignLeft);
    setTextStyle(Size, Bold, Italic, Color);
    insertText(Text);
    breakLine();
}

void TForm7::AddLine(const QString& line)
{
    moveCaretToEnd();
    if (!lastLineIsEmpty())
        breakLine();
    insertText(line);
    breakLine();
}

void TForm7::saveFileClick()
{
    const QString chosen = dialogs::saveFileName(this, kSaveCaption, kSaveFilter);
    if (chosen.trimmed().isEmpty())
        return;
    QString path = chosen;
    if (QFileInfo(path).suffix().isEmpty()) {
        path += u'.' + kDefaultSuffix;
        // The dialog asked about the name as typed, not about the one with the suffix.
        if (QFileInfo::exists(path)
            && !dialogs::question(QStringLiteral("%1 already exists.\r\nDo you want to replace it?")
                                      .arg(QFileInfo(path).fileName()),
                                  MessageKind::Warning))
            return;
    }
    saveDocumentAsRtf(*editor->document(), path);
}

void TForm7::clearLogClick()
{
    if (dialogs::question(QStringLiteral("Clear Log?"), MessageKind::Information))
        editor->clear();
}

void TForm7::DebugformulaClick()
{
    if (!dialogs::question(
            QStringLiteral("You have started a process that will thoroughly check all the formulas in the test!"
                           "\r\n\r\n"
                           "Warning: this proccess can be very long in case of a large number of formulas in "
                           "the test!"
                           "\r\n\r\nContinue?"),
            MessageKind::Information))
        return;
    std::vector<FormulaMessageRow> syntaxRows;
    std::vector<FormulaMessageRow> referenceRows;
    {
        const BusyControl<QAction> busy(formulaDebug);
        const WaitWindowScope wait(QStringLiteral("Debugging Kelvo formula.."));
        syntaxRows = formulaCheckTarget_->CheckAllFormulasSyntax();
        referenceRows = formulaCheckTarget_->CheckAllFormulaReferences();
    }
    reportFormulaCheck(syntaxRows, referenceRows);
    if (!syntaxRows.empty() || !referenceRows.empty())
        offerFormulaDeletion(syntaxRows, referenceRows);
}

void TForm7::reportFormulaCheck(const std::vector<FormulaMessageRow>& syntaxRows,
                                const std::vector<FormulaMessageRow>& referenceRows)
{
    const QString someFaulty = QStringLiteral("Some of the formulas contain errors!");
    AddLine(QString());
    if (!syntaxRows.empty()) {
        AddLine(someFaulty);
        for (const FormulaMessageRow& row : syntaxRows)
            AddLine(row.line);
    }
    if (!referenceRows.empty()) {
        AddLine(syntaxRows.empty() ? someFaulty : QString());
        for (const FormulaMessageRow& row : referenceRows)
            AddLine(row.line);
    }
    if (syntaxRows.empty() && referenceRows.empty())
        AddLine(QStringLiteral("All formulas in the test are correct!"));
}

void TForm7::offerFormulaDeletion(const std::vector<FormulaMessageRow>& syntaxRows,
                                  const std::vector<FormulaMessageRow>& referenceRows)
{
    if (!dialogs::question(QStringLiteral("If you want to delete all of the formulas selected from the debug process?"),
                           MessageKind::Information))
        return;
    const FormulaDeleteList selected = BuildFormulaDeleteList(syntaxRows, referenceRows);
    if (!dialogs::question(QStringLiteral("Number of formulas to delete: %1\r\n\r\nDelete selected records?")
                               .arg(selected.count),
                           MessageKind::Warning))
        return;
    formulaCheckTarget_->ExecSQL(QStringLiteral("delete from formula where autoid in ") + selected.list + u';');
    dialogs::information(QStringLiteral("Records deleted: %1").arg(selected.count));
}

void TForm7::HelpClick() { ShowHelpTopic(QStringLiteral("30")); }

bool TForm7::eventFilter(QObject* watched, QEvent* event)
{
    // The window sees the keys of its editor first.
    if (watched == editor && event->type() == QEvent::KeyRelease
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        guarded([this] { HelpClick(); });
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TForm7::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        guarded([this] { HelpClick(); });
        return;
    }
    QDialog::keyReleaseEvent(event);
}

}  // namespace kelvo
