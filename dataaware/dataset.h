#pragma once
// A dataset over one SELECT: the rows it gave, a current row shared by every control
// bound to it, and the browse, edit and insert states of an editing window. Posting
// writes the row to the one table the dataset edits, through the engine with bound
// parameters, after the window's rules had their say.
//
// The window hooks its data-entry rules in:
//   beforeInsert, beforeDelete  decide on the action (the current row is readable);
//   newRecord                   fills a row that has just been created;
//   beforePost                  checks and may change the row before it is written.
// Each returns a Verdict. Rules run inside the transaction of the write they guard, so
// the statements a before-delete rule runs (a cascade) stand or fall with the delete.
// A rule changes the row in place; it does not move, post or cancel the dataset.

#include "dataaware/verdict.h"
#include "engine/connection.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <exception>
#include <functional>
#include <optional>
#include <vector>

namespace kelvo::dataaware {

enum class DatasetState { Inactive, Browse, Edit, Insert };

class Dataset : public QObject {
    Q_OBJECT
public:
    // A rule reads and changes the row through the dataset (value, setValue,
    // storedValue, isAppending, recordNumber).
    using Rule = std::function<Verdict()>;
    using MessageHandler = std::function<void(const Notice&)>;
    using ExceptionHandler = std::function<void(std::exception_ptr)>;
    using FailureText = std::function<QString(const engine::EngineError&)>;

    explicit Dataset(QObject* parent = nullptr);

    // What the dataset reads and where it writes. `keyFields` name the row in UPDATE and
    // DELETE; without a table the dataset is read-only.
    void setConnection(engine::Connection* connection) { connection_ = connection; }
    engine::Connection* connection() const { return connection_; }
    void setStatement(const QString& selectSql) { selectSql_ = selectSql; }
    QString statement() const { return selectSql_; }
    void setTable(const QString& table, const QStringList& keyFields);
    QString table() const { return table_; }
    // ":name" parameters of the statement; takes effect at the next open or refresh.
    void setParameter(const QString& name, const QVariant& value) { parameters_.insert(name, value); }
    QVariant parameter(const QString& name) const { return parameters_.value(name); }
    // A read-only dataset refuses edit, insert and delete.
    void setReadOnly(bool readOnly);
    bool canModify() const;

    void setBeforeInsert(Rule rule) { beforeInsert_ = std::move(rule); }
    void setBeforeDelete(Rule rule) { beforeDelete_ = std::move(rule); }
    void setNewRecord(Rule rule) { newRecord_ = std::move(rule); }
    void setBeforePost(Rule rule) { beforePost_ = std::move(rule); }
    // Every message (a rule's refusal, a failed write) goes here.
    void setMessageHandler(MessageHandler handler) { messageHandler_ = std::move(handler); }
    // The text shown when the database refuses a write; the engine's own text without it.
    void setWriteFailureText(FailureText text) { writeFailureText_ = std::move(text); }
    // What the layer's controls do with an exception from a rule; without one, its text
    // is shown as an error.
    void setExceptionHandler(ExceptionHandler handler) { exceptionHandler_ = std::move(handler); }

    // Runs the select; throws engine::EngineError when it fails. The first row is current.
    void open();
    void close();
    bool isActive() const { return state_ != DatasetState::Inactive; }
    // Posts a pending edit, runs the select again and keeps the current row (found by its
    // key, else by its position). False when the pending edit could not be posted.
    bool refresh();

    DatasetState state() const { return state_; }
    bool isEditing() const { return state_ == DatasetState::Edit || state_ == DatasetState::Insert; }

    // --- rows -----------------------------------------------------------------------
    // The rows as shown: while inserting, the new row stands at insertPosition().
    int rowCount() const;
    // The stored rows, without a row being inserted.
    int recordCount() const { return static_cast<int>(rows_.size()); }
    bool isEmpty() const { return rowCount() == 0; }
    // Position of the current row among the rows shown, -1 when there is none.
    int currentIndex() const { return current_; }
    // The current row counted from 1, 0 when there is none.
    int recordNumber() const { return current_ + 1; }
    // While inserting: whether the new row was added after the last row.
    bool isAppending() const { return state_ == DatasetState::Insert && appending_; }

    // --- fields -----------------------------------------------------------------------
    const std::vector<engine::FieldInfo>& fields() const { return fields_; }
    // -1 when the statement has no such column (letter case ignored).
    int fieldIndex(const QString& name) const;
    // Whether a column can be written: it belongs to the table and the dataset can modify.
    bool isWritable(int field) const;
    // A cell of a row shown (the pending values of the row being edited).
    QVariant cell(int row, int field) const;
    // The current row; the pending value while editing. Null without a current row or field.
    QVariant value(const QString& field) const;
    QVariant value(int field) const;
    // The value as stored before the edit began (Null for a new row).
    QVariant storedValue(const QString& field) const;
    // Starts an edit in browse state. False when there is no row or it cannot be edited.
    bool setValue(const QString& field, const QVariant& value);
    bool setValue(int field, const QVariant& value);

    // --- moving (posting a pending edit first; false when that fails) ------------------
    bool first();
    bool prior();
    bool next();
    bool last();
    bool moveTo(int index);
    // The first row whose `field` holds `value`; stays put when none does.
    bool locate(const QString& field, const QVariant& value);
    // The row whose key fields hold `keyValues`, in the order of setTable's key fields.
    bool locateKey(const QVariantList& keyValues);

    // --- editing --------------------------------------------------------------------
    bool edit();
    // A new row before the current one (after the last when the dataset is empty).
    bool insert();
    // A new row after the last one.
    bool append();
    bool post();
    // Drops a new row or gives the edited row back its stored values.
    void cancel();
    // Deletes the current row (a new row is only dropped).
    bool remove();

    // Runs `action` for one of the layer's controls: an exception goes to the handler.
    template <class F>
    void guard(F&& action)
    {
        try {
            action();
        } catch (...) {
            handleException(std::current_exception());
        }
    }

signals:
    void stateChanged(kelvo::dataaware::DatasetState state);
    void currentChanged(int index);
    // One field of the current row got a new value.
    void valueChanged(int field);
    // Every field of the current row may have changed (an edit was cancelled).
    void rowValuesChanged();
    // The rows shown change as a whole (open, close, refresh, a new row added or dropped).
    void rowsAboutToChange();
    void rowsChanged();
    // Controls holding a typed value not handed over yet hand it over now.
    void updateRecordRequested();
    void posted();
    void removed();

private:
    bool beginNewRow(bool appending);
    bool checkBrowseMode();
    std::vector<QVariant> keyValuesOf(const std::vector<QVariant>& row) const;
    int findKey(const std::vector<QVariant>& key) const;
    // Runs the select and shows its rows in `state`, the row of `keepKey` (else the one
    // at `keepIndex`) current.
    void reload(const std::vector<QVariant>& keepKey, int keepIndex);
    // The buffer in the form written to the table; empty with a message when a typed
    // value does not fit its column.
    std::optional<std::vector<QVariant>> convertedBuffer();
    // Both give the key of the row written.
    std::vector<QVariant> insertRow(const std::vector<QVariant>& row);
    std::vector<QVariant> updateRow(const std::vector<QVariant>& row);
    bool runRule(const Rule& rule);
    void showNotice(const Notice& notice);
    void reportFailure(const engine::EngineError& error);
    void handleException(std::exception_ptr exception);
    void setState(DatasetState state);
    void setCurrent(int index);
    bool isTableField(int field) const;

    engine::Connection* connection_ = nullptr;
    QString selectSql_;
    QString table_;
    QStringList keyFields_;
    QVariantMap parameters_;
    bool readOnly_ = false;

    Rule beforeInsert_;
    Rule beforeDelete_;
    Rule newRecord_;
    Rule beforePost_;
    MessageHandler messageHandler_;
    FailureText writeFailureText_;
    ExceptionHandler exceptionHandler_;

    DatasetState state_ = DatasetState::Inactive;
    std::vector<engine::FieldInfo> fields_;
    std::vector<bool> tableField_;
    std::vector<int> keyColumns_;
    std::vector<std::vector<QVariant>> rows_;
    int current_ = -1;
    // The row being edited or inserted, and where a new row stands.
    std::vector<QVariant> buffer_;
    int insertPosition_ = -1;
    int rowBeforeInsert_ = -1;
    bool appending_ = false;
};

}  // namespace kelvo::dataaware
