#pragma once
// What the editor's editing pages share: their datasets speak through the dialog
// service, their help buttons open a topic, and their deletions take the formulas that
// reference what goes.

#include "data/formula_language.h"
#include "dataaware/grid_column.h"

#include <QString>
#include <QStringList>

#include <initializer_list>
#include <vector>

class QBoxLayout;
class QPushButton;
class QWidget;

namespace kelvo {

namespace dataaware {
class DataGrid;
class Dataset;
class Navigator;
}

// What the question and formula tools say when the test has no question.
inline const QString kNoQuestionsMessage = QStringLiteral(
    "You must have written at least one question in the test to be able to achieve the desired action!");

// Points `dataset` at the open test's connection over `selectSql`, writing `table` by
// `keyFields`; its refusals and failures are shown as message boxes, and exceptions from
// its rules reach the program's guard.
void BindPageDataset(dataaware::Dataset& dataset, const QString& selectSql, const QString& table,
                     const QStringList& keyFields);

// A dataset of `owner` over `selectSql` that edits `table` by its `id`, bound as above.
dataaware::Dataset* MakePageDataset(QObject* owner, const char* name, const QString& selectSql, const QString& table);
dataaware::Navigator* MakeNavigator(dataaware::Dataset& dataset, QWidget* page, const char* name,
                                    const QString& accessibleName);
dataaware::DataGrid* MakeDataGrid(dataaware::Dataset& dataset, QWidget* page, const char* name,
                                  const QString& accessibleName, std::vector<dataaware::GridColumn> columns);

// The count a "select count(*) ..." statement with `parameters` gives.
int CountOf(const QString& sql, const QVariantMap& parameters);

// Down on the last row of `grid` adds a new row after it, as in a desktop table editor.
void AppendBelowLastRow(dataaware::DataGrid& grid);

// A page's row of `tools`, from the left, added to the page's `layout`.
void AddToolRow(QBoxLayout& layout, std::initializer_list<QWidget*> tools);

// A help button that opens `topic`.
QPushButton* MakeHelpButton(QWidget* parent, const char* name, const QString& topic);

// "delete from formula where autoid in (a,b,...);" for `formulas`, in the order given.
QString DeleteFormulasStatement(const std::vector<StoredFormula>& formulas);

// Deletes the formulas that reference `prefix` + `id`; how many there were.
int DeleteFormulasReferencing(int id, const QString& prefix);

// The text of a dataset value as the rules read it ("" for Null).
QString FieldText(const dataaware::Dataset& dataset, const QString& field);

}  // namespace kelvo
