#include "results/export_window.h"

#include "data/database.h"
#include "data/session.h"
#include "engine/export/export_support.h"
#include "engine/export/text_writer.h"
#include "engine/export/xlsx_writer.h"
#include "engine/export_run.h"
#include "engine/jet_export.h"
#include "ui/application.h"
#include "ui/busy_control.h"
#include "ui/dialog_service.h"
#include "ui/help.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QShowEvent>
#include <QVBoxLayout>

#include <filesystem>
#include <stdexcept>
#include <unordered_map>

namespace kelvo {

bool gExcelAvailable = false;
QString gExcelVersion;
int gExportColumnCount = 0;
exporting::Table gExportMatrix;

namespace {

const QString kNothingChosen
    = QStringLiteral("You must select data (General data, Fields, Answers, Variables) to Export!");
const QString kExportFailed = QStringLiteral("There was error in exporting data!\r\n\r\nExport failed!");
const QString kWorkingFile
    = QStringLiteral("You can not transfer data to a working Kelvo file!\r\n\r\nIt is strictly forbidden!");
const QString kAccessFileMissing = QStringLiteral(
    "The selected file must exist!\r\n\r\nFor the process of transferring data in Access, you must pre-create a NEW "
    "(BLANK) .mdb file with Access!\r\n\r\nIn this file should not be a table with the name \"Data\"!\r\n\r\n"
    "Otherwise you will get an error!");
const QString kNoExcel = QStringLiteral("Error: Can't find Excel!\r\n\r\nYou can't export to Excel file!");
const QString kUnsupportedFilter
    = QStringLiteral("Error code: 251.\r\n\r\nUnsupported file filter!\r\n\r\nExport operation is aborted!");
const QString kUnsupportedExcel
    = QStringLiteral("Error code: 253.\r\n\r\nUnsupported Excel version!\r\n\r\nExport operation is aborted!");
const QString kNoColumnDelimiter = QStringLiteral(
    "Column delimiter is missing!\r\n\r\nYou must specify Column delimiter!\r\n\r\nOperation aborted..");
const QString kSameDelimiters = QStringLiteral(
    "Column delimiter must be different from delimiter for multiple answers!\r\n\r\nOperation aborted..");

// More columns than the older formats hold in one table.
constexpr int kWideExport = 254;
constexpr int kDbaseNameLength = 10;

const QString kTextFilter = QStringLiteral("Text File (*.txt)|*.txt|");
const QString kDatabaseFilters = QStringLiteral(
    "Access (*.mdb)|*.mdb|Lotus WK3 (*.wk3)|*.wk3|dBase 5 (*.dbf)|*.dbf|Paradox 5.x (*.db)|*.db|");
const QString kOldExcelFilters = QStringLiteral("Excel 1990 (*.xls)|*.xls|Excel 1997-2003 (*.xls)|*.xls|");

constexpr int kAccessType = 0;
constexpr int kExcel3Type = 1;
constexpr int kExcel8Type = 4;
constexpr int kLotusWk3Type = 6;
constexpr int kDbase5Type = 10;
constexpr int kParadox5Type = 13;

engine::Connection& con() { return Session::current().con; }

std::filesystem::path fsPath(const QString& path) { return std::filesystem::path(QFile::encodeName(path).toStdString()); }

// The descriptions of a filter of description|pattern pairs, as the dialog offers them.
QStringList filterEntries(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        entries << parts[i];
    return entries;
}

// dBase field names hold 10 characters: a longer column name becomes its first
// characters, with a number where two would be alike (field names ignore case). Names
// that fit keep theirs, so that no shortened name takes one of them.
std::vector<QString> dbaseFieldNames(const std::vector<QString>& names)
{
    QSet<QString> taken;
    for (const QString& name : names)
        if (name.size() <= kDbaseNameLength)
            taken.insert(name.toLower());
    std::vector<QString> fieldNames;
    for (const QString& name : names) {
        if (name.size() <= kDbaseNameLength) {
            fieldNames.push_back(name);
            continue;
        }
        QString candidate = name.left(kDbaseNameLength);
        for (int number = 1; taken.contains(candidate.toLower()); ++number) {
            const QString suffix = QString::number(number);
            candidate = name.left(kDbaseNameLength - suffix.size()) + suffix;
        }
        taken.insert(candidate.toLower());
        fieldNames.push_back(candidate);
    }
    return fieldNames;
}

bool isIdColumn(const QString& name) { return name.toLower() == u"id"; }

std::optional<std::size_t> idColumnOf(const exporting::Table& table)
{
    for (std::size_t c = 0; c < table.columns.size(); ++c)
        if (isIdColumn(QString::fromStdString(table.columns[c].name)))
            return c;
    return std::nullopt;
}

}  // namespace

TForm14::TForm14(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm14"));
    setWindowTitle(QStringLiteral("Export / Save"));

    gb1 = new QGroupBox(QStringLiteral("Export:"), this);
    gb1->setObjectName(QStringLiteral("gb1"));
    const auto makeBox = [this](const char* name, const QString& caption) {
        auto* box = new QCheckBox(caption, gb1);
        box->setObjectName(QString::fromLatin1(name));
        box->setChecked(true);
        return box;
    };
    chCommon = makeBox("chCommon", QStringLiteral("Export General data"));
    chFields = makeBox("chFields", QStringLiteral("Export Data fields"));
    chAnswers = makeBox("chAnswers", QStringLiteral("Export Answers"));
    chVariables = makeBox("chVariables", QStringLiteral("Export Variables"));
    auto* boxes = new QVBoxLayout(gb1);
    for (QCheckBox* box : {chCommon, chFields, chAnswers, chVariables})
        boxes->addWidget(box);

    gb2 = new QGroupBox(QStringLiteral("Text (ASCII) export:"), this);
    gb2->setObjectName(QStringLiteral("gb2"));
    const auto makeDelimiter = [this](const char* name, const QString& text) {
        auto* edit = new QLineEdit(text, gb2);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setMaxLength(1);
        return edit;
    };
    Edit1 = makeDelimiter("Edit1", QStringLiteral(";"));
    Edit2 = makeDelimiter("Edit2", QStringLiteral("_"));
    Label3 = new QLabel(QStringLiteral("Column delimiter:"), gb2);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setBuddy(Edit1);
    Label4 = new QLabel(QStringLiteral("Delimiter for multiple answers:"), gb2);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setBuddy(Edit2);
    auto* delimiters = new QGridLayout(gb2);
    delimiters->addWidget(Label3, 0, 0);
    delimiters->addWidget(Edit1, 1, 0);
    delimiters->addWidget(Label4, 2, 0);
    delimiters->addWidget(Edit2, 3, 0);

    const auto makeButton = [this](const char* name, const QString& caption) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QString::fromLatin1(name));
        return button;
    };
    btnExport = makeButton("btnExport", QStringLiteral("&Export"));
    btnCancel = makeButton("btnCancel", QStringLiteral("&Cancel"));
    btnHelp = makeButton("btnHelp", QStringLiteral("&Help"));
    btnExport->setDefault(true);

    auto* groups = new QHBoxLayout;
    groups->addWidget(gb1);
    groups->addWidget(gb2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {btnExport, btnCancel, btnHelp})
        buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(buttons);

    connect(btnExport, &QPushButton::clicked, this, guardedSlot([this] { btnExportClick(); }));
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this, guardedSlot([this] { btnHelpClick(); }));
}

void TForm14::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded([this] { FormShow(); });
}

void TForm14::FormShow()
{
    ExcelVersion();
    for (const auto& [box, table] : {std::pair{chFields, QStringLiteral("userf")}, std::pair{chVariables, QStringLiteral("variables")}}) {
        const bool hasRows = TableHasRows(table);
        box->setEnabled(hasRows);
        if (!hasRows)
            box->setChecked(false);
    }
}

void TForm14::ExcelVersion()
{
    // The .xlsx writer is linked into the program: it stands for the spreadsheet
    // application, which writes Excel 2010 workbooks.
    gExcelAvailable = true;
    gExcelVersion = QStringLiteral("14");
}

bool TForm14::TableHasRows(const QString& name) const
{
    if (!Session::current().tableNames.contains(name))
        return false;
    const RowSet count = SelectToVariant(QStringLiteral("select count(*) from ") + name + u';');
    return !count.isNull() && count.integer(0, 0) > 0;
}

bool TForm14::fieldsChosen() const { return chFields->isEnabled() && chFields->isChecked(); }

bool TForm14::variablesChosen() const { return chVariables->isEnabled() && chVariables->isChecked(); }

QStringList TForm14::ChosenTableNames() const
{
    const QStringList& names = Session::current().tableNames;
    QStringList tables;
    if (chCommon->isChecked())
        tables << QStringLiteral("datac");
    if (fieldsChosen() && names.contains(QStringLiteral("dataf")))
        tables << QStringLiteral("dataf");
    const auto withPrefix = [&](const QString& prefix) {
        for (const QString& name : names)
            if (name.startsWith(prefix))
                tables << name;
    };
    if (chAnswers->isChecked())
        withPrefix(QStringLiteral("datai"));
    if (variablesChosen())
        withPrefix(QStringLiteral("datav"));
    return tables;
}

int TForm14::CountExportColumns() const
{
    int count = chCommon->isChecked() ? 0 : 1;
    for (const QString& table : ChosenTableNames())
        count += static_cast<int>(con().tableFields(table).size());
    return count;
}

void TForm14::AddTableColumns(std::vector<ExportColumn>& columns, const QString& table) const
{
    for (const engine::FieldInfo& field : con().tableFields(table))
        if (!isIdColumn(field.name))
            columns.push_back({table, field.name});
}

QString TForm14::BuildExportSelect(bool dbaseNames) const
{
    const QStringList tables = ChosenTableNames();
    std::vector<ExportColumn> columns{{QStringLiteral("datac"), QStringLiteral("id")}};
    for (const QString& table : tables)
        AddTableColumns(columns, table);
    std::vector<QString> names;
    for (const ExportColumn& column : columns)
        names.push_back(column.name);
    if (dbaseNames)
        names = dbaseFieldNames(names);
    QStringList list;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        QString item = columns[c].table + u'.' + columns[c].name;
        if (names[c] != columns[c].name)
            item += QStringLiteral(" as ") + names[c];
        list << item;
    }
    // Every run of datac is exported, also one without a row in a chosen table (its cells
    // there stay empty), as the text and .xlsx matrix lists them: a join on id that kept
    // only the runs present in every table would drop runs from the file silently.
    QString sql = QStringLiteral("select ") + list.join(QStringLiteral(", ")) + QStringLiteral(" from datac");
    for (const QString& table : tables)
        if (table != u"datac")
            sql += QStringLiteral(" left join %1 on datac.id = %1.id").arg(table);
    return sql + QStringLiteral(" order by datac.id;");
}

void TForm14::btnExportClick()
{
    if (!chCommon->isChecked() && !chFields->isChecked() && !chAnswers->isChecked() && !chVariables->isChecked()) {
        dialogs::warning(kNothingChosen);
        return;
    }
    const BusyControl<QPushButton> busy(btnExport);
    saveFilter_ = kTextFilter;
    gExportColumnCount = CountExportColumns();
    if (gExportColumnCount <= kWideExport)
        saveFilter_ += kDatabaseFilters;
    if (gExcelAvailable) {
        saveFilter_ += kOldExcelFilters;
        if (gExcelVersion.startsWith(QStringLiteral("12")))
            saveFilter_ += QStringLiteral("Excel 2007 (*.xlsx)|*.xlsx|");
        if (gExcelVersion.startsWith(QStringLiteral("14")))
            saveFilter_ += QStringLiteral("Excel 2010 (*.xlsx)|*.xlsx");
    }
    fileName_.clear();
    const FileChoice choice
        = dialogs::saveFileChoice(this, QStringLiteral("Kelvo. Export data"), filterEntries(saveFilter_), QStringLiteral("txt"));
    fileName_ = choice.fileName;
    chosenFilter_ = choice.filter;
    if (fileName_.trimmed().isEmpty())
        return;
    try {
        // The file routines would end the name at a NUL and write under another name.
        if (fileName_.contains(QChar(u'\0')))
            throw std::invalid_argument("The file name holds a NUL character, which no file name can hold.");
        if (gExportColumnCount > kWideExport)
            ExportToFile(QStringLiteral("dummy"), QStringLiteral("dummy"));
        else
            ExportToFile(BuildExportSelect(SelectedFilterText().contains(QStringLiteral("*.dbf"))), QStringLiteral("Data"));
    } catch (const std::exception& e) {
        // The cause (a format's limit, a folder that cannot be written) follows, so that
        // the person learns what to change.
        dialogs::error(kExportFailed + QStringLiteral("\r\n\r\n") + QString::fromUtf8(e.what()));
    }
}

void TForm14::btnHelpClick() { ShowHelpTopic(QStringLiteral("33")); }

QString TForm14::SelectedFilterText() const
{
    if (chosenFilter_.isEmpty() || !filterEntries(saveFilter_).contains(chosenFilter_))
        return {};
    return chosenFilter_ + u'|';
}

bool TForm14::TargetIsOpenTest() const
{
    const QString& testFile = Session::current().testFile;
    if (testFile.isEmpty())
        return false;
    std::error_code error;
    return std::filesystem::equivalent(fsPath(fileName_), fsPath(testFile), error) && !error;
}

void TForm14::ExportToFile(const QString& sql, const QString& tableName)
{
    if (TargetIsOpenTest()) {
        dialogs::error(kWorkingFile);
        return;
    }
    const QString filter = SelectedFilterText();
    const auto exportAs = [&](int fileType) { engine::ExportQuery(&con(), sql, fileName_, tableName, fileType); };
    if (filter.contains(QStringLiteral("*.txt"))) {
        BuildExportMatrix();
        ExportText();
    } else if (filter.contains(QStringLiteral("*.mdb"))) {
        if (QFileInfo::exists(fileName_))
            exportAs(kAccessType);
        else
            dialogs::warning(kAccessFileMissing);
    } else if (filter.contains(QStringLiteral("*.wk3"))) {
        exportAs(kLotusWk3Type);
    } else if (filter.contains(QStringLiteral("*.dbf"))) {
        exportAs(kDbase5Type);
    } else if (filter.contains(QStringLiteral("*.db"))) {
        exportAs(kParadox5Type);
    } else if (filter.contains(QStringLiteral("*.xls"))) {
        if (gExcelAvailable)
            ExportExcel(sql, tableName);
        else
            dialogs::error(kNoExcel);
    } else {
        dialogs::error(kUnsupportedFilter);
    }
}

void TForm14::ExportExcel(const QString& sql, const QString& tableName)
{
    const QString filter = SelectedFilterText();
    const bool wide = gExportColumnCount > kWideExport;
    if (filter.contains(QStringLiteral("1990"))) {
        if (wide)
            ExportExcelPerTable(fileName_);
        else
            engine::ExportQuery(&con(), sql, fileName_, tableName, kExcel3Type);
    } else if (filter.contains(QStringLiteral("1997"))) {
        if (wide)
            ExportExcelPerTable(fileName_);
        else
            engine::ExportQuery(&con(), sql, fileName_, tableName, kExcel8Type);
    } else if (filter.contains(QStringLiteral("2007")) || filter.contains(QStringLiteral("2010"))) {
        BuildExportMatrix();
        ExportExcelAutomation(fileName_);
    } else {
        dialogs::error(kUnsupportedExcel);
    }
}

void TForm14::BuildExportMatrix()
{
    const exporting::Table general = engine::exportTableOf(con().select(QStringLiteral("select * from datac;")));
    if (chCommon->isChecked()) {
        gExportMatrix = general;
    } else {
        gExportMatrix = {};
        const std::size_t id = idColumnOf(general).value_or(0);
        gExportMatrix.columns.push_back({"id", general.columns.empty() ? exporting::ColumnType::Integer : general.columns[id].type});
        for (const auto& run : general.rows)
            gExportMatrix.rows.push_back({run.empty() ? exporting::Cell{} : run[id]});
    }
    QStringList tables = ChosenTableNames();
    tables.removeAll(QStringLiteral("datac"));
    for (const QString& table : tables)
        AppendTableToMatrix(QStringLiteral("select * from ") + table + u';');
}

void TForm14::AppendTableToMatrix(const QString& sql)
{
    const exporting::Table table = engine::exportTableOf(con().select(sql));
    const std::optional<std::size_t> id = idColumnOf(table);
    std::vector<std::size_t> valueColumns;
    for (std::size_t c = 0; c < table.columns.size(); ++c)
        if (c != id)
            valueColumns.push_back(c);
    if (valueColumns.empty())
        return;
    const std::size_t first = gExportMatrix.columns.size();
    for (const std::size_t c : valueColumns)
        gExportMatrix.columns.push_back(table.columns[c]);
    for (auto& run : gExportMatrix.rows)
        run.resize(gExportMatrix.columns.size());
    if (!id)
        return;
    // The first run of an id wins, as a search from the top would find it.
    std::unordered_map<std::string, std::size_t> runOfId;
    for (std::size_t r = 0; r < gExportMatrix.rows.size(); ++r)
        runOfId.emplace(exporting::cellText(gExportMatrix.rows[r][0]), r);
    for (const auto& record : table.rows) {
        const auto run = runOfId.find(exporting::cellText(record[*id]));
        if (run == runOfId.end())
            continue;
        auto& cells = gExportMatrix.rows[run->second];
        for (std::size_t v = 0; v < valueColumns.size(); ++v)
            cells[first + v] = record[valueColumns[v]];
    }
}

void TForm14::ExportText()
{
    const QString columnDelimiter = Edit1->text();
    const QString answerDelimiter = Edit2->text();
    if (columnDelimiter.isEmpty()) {
        dialogs::error(kNoColumnDelimiter);
        return;
    }
    if (columnDelimiter == answerDelimiter) {
        dialogs::error(kSameDelimiters);
        return;
    }
    exporting::TextLayout layout;
    layout.columnDelimiter = columnDelimiter.toStdString();
    layout.multipleAnswerDelimiter = answerDelimiter.toStdString();
    layout.delimiterAfterLastCell = true;
    exporting::writeDelimitedText(gExportMatrix, fsPath(fileName_), layout);
}

QStringList TForm14::SheetNames(const QStringList& tables)
{
    static const std::pair<QString, QString> kPrefixes[] = {{QStringLiteral("datac"), QStringLiteral("general")},
                                                            {QStringLiteral("datai"), QStringLiteral("item")},
                                                            {QStringLiteral("dataf"), QStringLiteral("data")},
                                                            {QStringLiteral("datav"), QStringLiteral("var")}};
    QStringList sheets;
    for (const QString& table : tables) {
        QString sheet = table;
        for (const auto& [prefix, name] : kPrefixes)
            if (table.startsWith(prefix)) {
                sheet = name + table.mid(prefix.size());
                break;
            }
        sheets << sheet;
    }
    return sheets;
}

QString TForm14::BuildSheetSelect(const QString& table, const QString& fileName, const QString& sheet) const
{
    const QString into = QStringLiteral(" into [Excel 8.0;Database=") + fileName + QStringLiteral("].[") + sheet + u']';
    if (table == u"datac")
        return QStringLiteral("select *") + into + QStringLiteral(" from datac order by id;");
    // Each sheet lists every run of datac by its id, also a run without a row in the
    // table, as the one-sheet exports do.
    QStringList fields{QStringLiteral("datac.id")};
    std::vector<ExportColumn> columns;
    AddTableColumns(columns, table);
    for (const ExportColumn& column : columns)
        fields << table + u'.' + column.name;
    return QStringLiteral("select ") + fields.join(QStringLiteral(", ")) + into
           + QStringLiteral(" from datac left join %1 on datac.id = %1.id order by datac.id;").arg(table);
}

void TForm14::ExportExcelPerTable(const QString& fileName)
{
    const QStringList tables = ChosenTableNames();
    const QStringList sheets = SheetNames(tables);
    // The sheets go into a new workbook beside the target, which replaces the target only
    // once every sheet is in: a failure leaves an earlier file whole. The reserved name is
    // freed again, since a sheet is added only to a workbook, not to an empty file.
    exporting::ReplacementFile workbook(fsPath(fileName));
    const QString partial = QFile::decodeName(workbook.temporaryPath().c_str());
    QFile::remove(partial);
    try {
        for (qsizetype i = 0; i < tables.size(); ++i)
            con().execute(BuildSheetSelect(tables[i], partial, sheets[i]));
    } catch (const engine::EngineError& e) {
        // The person chose the workbook's name, not the hidden one the sheets go into.
        throw engine::EngineError(e.message().replace(partial, fileName).toStdString());
    }
    workbook.commit();
}

void TForm14::ExportExcelAutomation(const QString& fileName)
{
    exporting::writeXlsxWorkbook({{"Data", gExportMatrix}}, fsPath(fileName));
}

}  // namespace kelvo
