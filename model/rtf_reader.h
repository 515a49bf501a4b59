#pragma once
// Reads RTF into a rich-text document: paragraphs (alignment, indents, spacing, tab
// stops), runs (font, size, bold, italic, underline, strike-out, colour), line breaks,
// tabs and the special characters; text in the code page the file declares
// (windows-1252 unless \ansicpg or a font's \fcharset says otherwise) and \uN.
// Whatever else a word processor writes (style sheets, document information, pictures,
// fields' instructions, \* destinations) is skipped. Malformed input (unbalanced
// braces, truncated files, huge numbers) gives as much of the text as can be read and
// never fails.

#include <QByteArray>

class QTextDocument;

namespace kelvo {

// True when the bytes begin, after optional white space, as an RTF file does.
bool looksLikeRtf(const QByteArray& bytes);

// Replaces the content of `document` with the text and formats of `rtf`.
void readRtfInto(const QByteArray& rtf, QTextDocument& document);

// The content of a file that may be RTF or plain text, as a rich edit loads it: RTF when
// it looks like RTF, otherwise plain text, read as UTF-8 when it is valid UTF-8 and as
// windows-1252 otherwise.
void readRtfOrPlainTextInto(const QByteArray& bytes, QTextDocument& document);

}  // namespace kelvo
