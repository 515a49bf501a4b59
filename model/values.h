#pragma once
// The values the program reads from and writes into statements: the row set of a
// SELECT, reading its cells, numbers and text, quoting, and small helpers.
//
// Conventions kept by every reader of a RowSet: a database Null read as text is the
// empty text and read as a number is 0 (CellText, CellNumber, CellInt).

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <optional>
#include <span>
#include <vector>

namespace kelvo {

// Where the program's internal-error messages ask the user to write.
inline const QString kSupportAddress = QStringLiteral("support@kelvo.example");

// The rows of one SELECT, [row, column] from 0. It is Null (no array at all) when the
// statement gave no row or no column; test isNull() before indexing.
class RowSet {
public:
    RowSet() = default;
    // Null when `rows` is empty or its first row has no cell; every row must have as many
    // cells as the first.
    explicit RowSet(std::vector<std::vector<QVariant>> rows);

    bool isNull() const { return cells_.empty(); }
    int rows() const { return static_cast<int>(cells_.size()); }
    int cols() const { return cells_.empty() ? 0 : static_cast<int>(cells_.front().size()); }

    // Throws std::out_of_range outside the array (and on a Null row set).
    const QVariant& at(int row, int col) const;
    void set(int row, int col, const QVariant& value);

    // Null-safe readers of one cell (see CellText and friends).
    QString text(int row, int col) const;
    double number(int row, int col) const;
    int integer(int row, int col) const;

private:
    std::vector<std::vector<QVariant>> cells_;
};

// --- reading cells: Null is "" as text and 0 as a number ---------------------------

// Booleans read "true"/"false", numbers with "." (NumberToText), dates as stored.
QString CellText(const QVariant& value);
// Texts are read with "."; a text that is no number throws std::invalid_argument.
double CellNumber(const QVariant& value);
// As CellNumber, rounded to the nearest integer; throws std::out_of_range beyond int.
int CellInt(const QVariant& value);

// --- numbers and text ---------------------------------------------------------------

// Numbers are stored and written into statements with "." whatever the locale: up to 15
// significant digits, no exponent for ordinary magnitudes.
QString NumberToText(double value);
// Reads a number written with "." (blanks around it allowed); nothing when it is none.
std::optional<double> TextToNumber(const QString& text);
// The decimal separator of the system locale, used only where numbers are typed or shown.
QChar LocaleDecimalSeparator();
// Reads a number written with the locale's separator.
std::optional<double> LocaleTextToNumber(const QString& text);

// --- SQL text -------------------------------------------------------------------------

// The one way user text goes into a statement: in single quotes, every quote in it
// doubled, so that a quote matches nothing and breaks nothing.
QString SqlQuote(const QString& text);

// --- small utilities -------------------------------------------------------------------

// The result table block that holds item<N> or var<N>: 254 data columns a table.
int ColumnBlock(int n);
// Index of `value` in the ascending `values`, -1 when absent.
int BinarySearchInt(std::span<const int> values, int value);
// The table name after the first "from " (blanks and parentheses skipped); "" without.
QString TableNameAfterFrom(const QString& sql);
// Whether `text` is an integer (or, unless `integerOnly`, a decimal number written with
// the locale's separator); "00..." is refused.
bool IsNumber(const QString& text, bool integerOnly);
// The locale's decimal separator becomes "." in every cell that is not Null (first
// occurrence); every such cell becomes text.
void NormalizeDecimalSeparator(RowSet& rows);
// A 1 x 1 row set holding `text`.
RowSet SingleCellVariant(const QString& text);
// `text` without blanks and without characters of code 0.
QString RemoveSpaces(const QString& text);
// The file name of `path` without folder and extension.
QString FileNameWithoutExt(const QString& path);
// A file beside `file` that does not exist yet: its folder and name, `suffix`, a number
// from 2 when needed, and the extension of `extSource`.
QString UniqueFileNameBeside(const QString& file, const QString& extSource, const QString& suffix);

}  // namespace kelvo
