#pragma once
// Writes a rich-text document as RTF 1.x for the formatting the program itself produces:
// paragraphs (alignment, indents, spacing, tab stops) and runs (font, size, bold, italic,
// underline, strike-out, colour). Word processors open the result with these intact.

#include <QByteArray>
#include <QString>

class QTextDocument;

namespace kelvo {

// Lengths inside a QTextDocument are pixels at 96 per inch; RTF measures in twips.
inline constexpr double kTwipsPerPixel = 15.0;

// The whole document as RTF text (7-bit ASCII; other characters as \uN with a
// windows-1252 fallback). Every paragraph ends with \par.
QByteArray documentToRtf(const QTextDocument& document);

// Writes documentToRtf(document) to a temporary file beside `path` and renames it over
// `path`, so a failure leaves an existing file whole. Throws std::runtime_error with a
// message naming the file when the file cannot be written.
void saveDocumentAsRtf(const QTextDocument& document, const QString& path);

}  // namespace kelvo
