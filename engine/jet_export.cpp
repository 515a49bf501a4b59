#include "engine/jet_export.h"

#include "engine/export_run.h"
#include "engine/export_statement.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <array>
#include <filesystem>

namespace kelvo::engine {
namespace {

[[noreturn]] void fail(const QString& message) { throw EngineError(message.toStdString()); }

enum class TableNameIs { Argument, BareFileName };
enum class InPathIs { FullFileName, Folder };

struct ExportType {
    const char* isam;  // with the quotes the statement needs
    TableNameIs tableName;
    InPathIs inPath;
};

constexpr int kNoStatementType = 7;
constexpr int kRecordsetXmlType = 16;

constexpr std::array<ExportType, kExportFileTypes> kTypes{{
    {"", TableNameIs::Argument, InPathIs::FullFileName},
    {"\"Excel 3.0;\"", TableNameIs::BareFileName, InPathIs::FullFileName},
    {"\"Excel 4.0;\"", TableNameIs::BareFileName, InPathIs::FullFileName},
    {"\"Excel 5.0;\"", TableNameIs::Argument, InPathIs::FullFileName},
    {"\"Excel 8.0;\"", TableNameIs::Argument, InPathIs::FullFileName},
    {"\"Lotus WK1;\"", TableNameIs::BareFileName, InPathIs::Folder},
    {"\"Lotus WK3;\"", TableNameIs::BareFileName, InPathIs::FullFileName},
    {"\"Lotus WK4;\"", TableNameIs::BareFileName, InPathIs::FullFileName},
    {"\"dBASE III;\"", TableNameIs::BareFileName, InPathIs::Folder},
    {"\"dBASE IV;\"", TableNameIs::BareFileName, InPathIs::Folder},
    {"\"dBASE 5.0;\"", TableNameIs::BareFileName, InPathIs::Folder},
    {"\"Paradox 3.x;\"", TableNameIs::BareFileName, InPathIs::Folder},
    {"\"Paradox 4.x;\"", TableNameIs::BareFileName, InPathIs::Folder},
    {"\"Paradox 5.x;\"", TableNameIs::BareFileName, InPathIs::Folder},
    {"\"Text;\"", TableNameIs::BareFileName, InPathIs::Folder},
    {"\"HTML Export;\"", TableNameIs::BareFileName, InPathIs::Folder},
    {"", TableNameIs::Argument, InPathIs::FullFileName},
}};

bool isWhiteSpace(QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

QString withoutLeadingWhiteSpace(const QString& text)
{
    qsizetype start = 0;
    while (start < text.size() && isWhiteSpace(text[start]))
        ++start;
    return text.mid(start);
}

// The Excel 5.0 and 8.0 statements add a sheet to a workbook that exists (or refuse
// it); every other writer replaces its file whole by renaming a complete one over it.
bool writerReadsAnExistingFile(int fileType) { return fileType == 3 || fileType == 4; }

// A short name beside `target` for it while it is set aside, so that a target of the
// longest name can be set aside too. It is not the pattern of the temporaries that a later
// export removes: after a kill, the person's earlier file waits there to be taken back.
std::filesystem::path asideName(const std::filesystem::path& target)
{
    std::filesystem::path aside;
    std::error_code error;
    do {
        const QString random = QString::number(QRandomGenerator::system()->generate(), 36);
        aside = target.parent_path() / (".kelvo-earlier-" + random.toStdString() + target.extension().string());
        // A name that cannot even be looked up is left to the rename, which reports why.
    } while (std::filesystem::symlink_status(aside, error).type() != std::filesystem::file_type::not_found && !error);
    return aside;
}

// Sets the existing target aside while the export runs, so that the statement starts
// from no file (a workbook is made anew, not added to) and a failure puts it back.
class SetAside {
public:
    explicit SetAside(const QString& target) : target_(QFile::encodeName(target).toStdString())
    {
        std::error_code error;
        if (!std::filesystem::exists(target_, error))
            return;
        aside_ = asideName(target_);
        std::filesystem::rename(target_, aside_, error);
        if (error)
            fail(QStringLiteral("Cannot replace the file \"%1\": %2").arg(target, QString::fromStdString(error.message())));
    }
    ~SetAside()
    {
        if (aside_.empty())
            return;
        std::error_code ignored;
        if (kept_)
            std::filesystem::remove(aside_, ignored);
        else
            std::filesystem::rename(aside_, target_, ignored);
    }
    SetAside(const SetAside&) = delete;
    SetAside& operator=(const SetAside&) = delete;
    void keepNewFile() { kept_ = true; }

private:
    std::filesystem::path target_;
    std::filesystem::path aside_;
    bool kept_ = false;
};

}  // namespace

QString exportStatementText(const QString& source, const QString& fields, const QString& tableName, int fileType,
                            const QString& fileName)
{
    if (fileType < 0 || fileType >= kRecordsetXmlType || fileType == kNoStatementType)
        fail(QStringLiteral("ExportTable: Fileformat not supported."));
    const ExportType& type = kTypes[static_cast<std::size_t>(fileType)];
    const QFileInfo file(fileName);
    const qsizetype slash = fileName.lastIndexOf(u'/');
    const QString folder = fileName.left(slash + 1);
    const QString table = type.tableName == TableNameIs::Argument ? tableName : file.completeBaseName();
    const QString inPath = type.inPath == InPathIs::Folder ? folder : fileName;
    return QStringLiteral("SELECT %1 INTO [%2] IN \"%3\" %4 FROM %5")
        .arg(fields.isEmpty() ? QStringLiteral("*") : fields, table, inPath, QLatin1StringView(type.isam), source);
}

int ExportQuery(Connection* connection, const QString& sql, const QString& fileName, const QString& tableName,
                int fileType)
{
    if (!connection || sql.isEmpty() || fileName.isEmpty())
        fail(QStringLiteral("Incomplete parameters."));
    if (fileType == kRecordsetXmlType)
        return SaveSelectToFile(connection, sql, fileName);
    const QString text = withoutLeadingWhiteSpace(sql);
    const QString upper = text.toUpper() + u' ';
    qsizetype fieldsStart = 6;
    while (fieldsStart < text.size() && isWhiteSpace(text[fieldsStart]))
        ++fieldsStart;
    // FROM counts only as a word: "information" or a table named "fromage" goes on.
    qsizetype from = upper.indexOf(QLatin1StringView("FROM"));
    while (from >= 0 && !(from > 0 && isWhiteSpace(upper[from - 1]) && isWhiteSpace(upper[from + 4])))
        from = upper.indexOf(QLatin1StringView("FROM"), from + 1);
    if (from < 0)
        return ExportTable(connection, QString(), text.mid(fieldsStart), tableName, fileType, fileName);
    const QString fields = from - 1 > fieldsStart ? text.mid(fieldsStart, from - 1 - fieldsStart) : QString();
    const QString source = withoutLeadingWhiteSpace(text.mid(from + 4));
    return ExportTable(connection, source, fields, tableName, fileType, fileName);
}

int ExportTable(Connection* connection, const QString& source, const QString& fields, const QString& tableName,
                int fileType, const QString& fileName)
{
    if (source.isEmpty() || fileName.isEmpty() || !connection)
        fail(QStringLiteral("Incomplete parameters."));
    const QString fieldList = fields.isEmpty() ? QStringLiteral("*") : fields;
    if (fileType == kRecordsetXmlType)
        return SaveSelectToFile(connection, QStringLiteral("SELECT %1 FROM %2").arg(fieldList, source), fileName);
    const QString statement = exportStatementText(source, fieldList, tableName, fileType, fileName);
    if (fileType == 0)
        return connection->execute(statement);
    const std::optional<ExportStatement> form = recognizeExportStatement(statement);
    if (!form)
        fail(QStringLiteral("Syntax error in the export statement: %1").arg(statement));
    // Checked before the file is set aside, while its path still leads to it.
    const QString target = exportTargetFile(*form);
    refuseOpenTestFile(*connection, target);
    if (!writerReadsAnExistingFile(fileType))
        return connection->execute(statement);
    SetAside earlier(target);
    const int rows = connection->execute(statement);
    earlier.keepNewFile();
    return rows;
}

int SaveSelectToFile(Connection* connection, const QString& sql, const QString& fileName)
{
    return saveSelectAsRecordsetXml(*connection, sql, fileName);
}

}  // namespace kelvo::engine
