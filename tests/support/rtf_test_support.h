#pragma once
// Reads a document back as runs and paragraphs, so that tests can compare what was
// written with what was read.

#include <QColor>
#include <QString>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include <ostream>
#include <vector>

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace kelvo::rtf_check {

struct StyledRun {
    QString text;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    QColor colour;  // invalid when the run has none of its own
    double points = 0;
    QString family;
    bool operator==(const StyledRun&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const StyledRun& run)
{
    return out << '"' << run.text.toStdString() << "\" b" << run.bold << " i" << run.italic << " u"
               << run.underline << ' ' << run.colour.name().toStdString() << ' ' << run.points << "pt "
               << run.family.toStdString();
}

inline StyledRun runOf(const QTextFragment& fragment)
{
    const QTextCharFormat format = fragment.charFormat();
    StyledRun run;
    run.text = fragment.text();
    run.bold = format.fontWeight() > QFont::Medium;
    run.italic = format.fontItalic();
    run.underline = format.fontUnderline();
    if (format.hasProperty(QTextFormat::ForegroundBrush))
        run.colour = format.foreground().color();
    run.points = format.fontPointSize();
    const QStringList families = format.fontFamilies().toStringList();
    run.family = families.isEmpty() ? QString() : families.first();
    return run;
}

inline std::vector<StyledRun> runsOf(const QTextDocument& document)
{
    std::vector<StyledRun> runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it)
            runs.push_back(runOf(it.fragment()));
    return runs;
}

inline QStringList blockTexts(const QTextDocument& document)
{
    QStringList texts;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        texts << block.text();
    return texts;
}

}  // namespace kelvo::rtf_check
