#include "dataaware/dataset.h"

#include "dataaware/field_values.h"

#include <algorithm>

namespace kelvo::dataaware {

using engine::EngineError;

Dataset::Dataset(QObject* parent) : QObject(parent) { }

void Dataset::setTable(const QString& table, const QStringList& keyFields)
{
    table_ = table;
    keyFields_ = keyFields;
}

void Dataset::setReadOnly(bool readOnly)
{
    if (readOnly && isEditing())
        cancel();
    readOnly_ = readOnly;
    // Controls read canModify() when the state is announced.
    if (isActive())
        emit stateChanged(state_);
}

bool Dataset::canModify() const
{
    return isActive() && !readOnly_ && !table_.isEmpty() && !keyFields_.isEmpty()
           && keyColumns_.size() == static_cast<size_t>(keyFields_.size());
}

// --- opening -----------------------------------------------------------------------

void Dataset::open()
{
    if (!connection_)
        throw EngineError("The dataset has no connection.");
    close();
    engine::ResultSet result = connection_->select(selectSql_, parameters_);
    std::vector<engine::FieldInfo> tableFields;
    if (!table_.isEmpty())
        tableFields = connection_->tableFields(table_);

    emit rowsAboutToChange();
    fields_ = std::move(result.columns);
    rows_ = std::move(result.rows);
    tableField_.assign(fields_.size(), false);
    for (size_t i = 0; i < fields_.size(); ++i)
        tableField_[i] = std::any_of(tableFields.begin(), tableFields.end(), [&](const engine::FieldInfo& f) {
            return f.name.compare(fields_[i].name, Qt::CaseInsensitive) == 0;
        });
    keyColumns_.clear();
    for (const QString& key : keyFields_)
        if (const int column = fieldIndex(key); column >= 0)
            keyColumns_.push_back(column);
    state_ = DatasetState::Browse;
    current_ = rows_.empty() ? -1 : 0;
    emit rowsChanged();
    emit stateChanged(state_);
    emit currentChanged(current_);
}

void Dataset::close()
{
    if (!isActive())
        return;
    emit rowsAboutToChange();
    state_ = DatasetState::Inactive;
    rows_.clear();
    fields_.clear();
    tableField_.clear();
    keyColumns_.clear();
    buffer_.clear();
    current_ = -1;
    emit rowsChanged();
    emit stateChanged(state_);
    emit currentChanged(current_);
}

bool Dataset::refresh()
{
    if (!isActive())
        return false;
    if (!checkBrowseMode())
        return false;
    reload(current_ >= 0 ? keyValuesOf(rows_[current_]) : std::vector<QVariant> {}, current_);
    return true;
}

void Dataset::reload(const std::vector<QVariant>& keepKey, int keepIndex)
{
    engine::ResultSet result = connection_->select(selectSql_, parameters_);
    const DatasetState before = state_;
    emit rowsAboutToChange();
    rows_ = std::move(result.rows);
    state_ = DatasetState::Browse;
    buffer_.clear();
    current_ = findKey(keepKey);
    if (current_ < 0)
        current_ = rows_.empty() ? -1 : std::clamp(keepIndex, 0, static_cast<int>(rows_.size()) - 1);
    emit rowsChanged();
    if (before != state_)
        emit stateChanged(state_);
    emit currentChanged(current_);
}

// --- rows and fields ------------------------------------------------------------------

int Dataset::rowCount() const { return recordCount() + (state_ == DatasetState::Insert ? 1 : 0); }

int Dataset::fieldIndex(const QString& name) const
{
    for (size_t i = 0; i < fields_.size(); ++i)
        if (fields_[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

bool Dataset::isTableField(int field) const
{
    return field >= 0 && field < static_cast<int>(tableField_.size()) && tableField_[field];
}

bool Dataset::isWritable(int field) const { return canModify() && isTableField(field); }

QVariant Dataset::cell(int row, int field) const
{
    if (field < 0 || field >= static_cast<int>(fields_.size()) || row < 0 || row >= rowCount())
        return {};
    if (isEditing() && row == current_)
        return buffer_[field];
    if (state_ == DatasetState::Insert && row > insertPosition_)
        --row;
    return rows_[row][field];
}

QVariant Dataset::value(const QString& field) const { return value(fieldIndex(field)); }

QVariant Dataset::value(int field) const { return cell(current_, field); }

QVariant Dataset::storedValue(const QString& field) const
{
    const int column = fieldIndex(field);
    if (column < 0 || current_ < 0 || state_ == DatasetState::Insert)
        return {};
    return rows_[current_][column];
}

bool Dataset::setValue(const QString& field, const QVariant& value) { return setValue(fieldIndex(field), value); }

bool Dataset::setValue(int field, const QVariant& value)
{
    if (field < 0 || field >= static_cast<int>(fields_.size()))
        return false;
    if (!isEditing() && !edit())
        return false;
    buffer_[field] = value;
    emit valueChanged(field);
    return true;
}

std::vector<QVariant> Dataset::keyValuesOf(const std::vector<QVariant>& row) const
{
    std::vector<QVariant> key;
    for (const int column : keyColumns_)
        key.push_back(row[column]);
    return key;
}

int Dataset::findKey(const std::vector<QVariant>& key) const
{
    if (key.empty() || key.size() != keyColumns_.size())
        return -1;
    for (size_t row = 0; row < rows_.size(); ++row) {
        bool same = true;
        for (size_t k = 0; k < keyColumns_.size() && same; ++k)
            same = sameValue(rows_[row][keyColumns_[k]], key[k]);
        if (same)
            return static_cast<int>(row);
    }
    return -1;
}

// --- moving ---------------------------------------------------------------------------

void Dataset::setCurrent(int index)
{
    if (index == current_)
        return;
    current_ = index;
    emit currentChanged(current_);
}

bool Dataset::checkBrowseMode()
{
    emit updateRecordRequested();
    return !isEditing() || post();
}

bool Dataset::moveTo(int index)
{
    if (!isActive() || index < 0 || index >= rowCount())
        return false;
    if (index == current_)
        return true;
    if (isEditing()) {
        // Posting may move rows (a new row takes its place in the order), so the row to
        // go to is remembered by its key.
        const bool targetIsStored = !(state_ == DatasetState::Insert && index == insertPosition_);
        const int storedIndex = state_ == DatasetState::Insert && index > insertPosition_ ? index - 1 : index;
        const std::vector<QVariant> target =
            targetIsStored ? keyValuesOf(rows_[storedIndex]) : std::vector<QVariant> {};
        if (!post())
            return false;
        const int found = findKey(target);
        setCurrent(found >= 0 ? found : std::clamp(storedIndex, 0, recordCount() - 1));
        return true;
    }
    setCurrent(index);
    return true;
}

bool Dataset::first() { return moveTo(0); }

bool Dataset::prior() { return current_ > 0 && moveTo(current_ - 1); }

bool Dataset::next() { return current_ + 1 < rowCount() && moveTo(current_ + 1); }

bool Dataset::last() { return moveTo(rowCount() - 1); }

bool Dataset::locate(const QString& field, const QVariant& value)
{
    const int column = fieldIndex(field);
    if (column < 0 || !checkBrowseMode())
        return false;
    for (size_t row = 0; row < rows_.size(); ++row)
        if (sameValue(rows_[row][column], value)) {
            setCurrent(static_cast<int>(row));
            return true;
        }
    return false;
}

bool Dataset::locateKey(const QVariantList& keyValues)
{
    if (!checkBrowseMode())
        return false;
    const int found = findKey(std::vector<QVariant>(keyValues.begin(), keyValues.end()));
    if (found < 0)
        return false;
    setCurrent(found);
    return true;
}

// --- editing ----------------------------------------------------------------------------

void Dataset::setState(DatasetState state)
{
    if (state == state_)
        return;
    state_ = state;
    emit stateChanged(state_);
}

bool Dataset::edit()
{
    if (isEditing())
        return true;
    if (!canModify() || current_ < 0)
        return false;
    buffer_ = rows_[current_];
    setState(DatasetState::Edit);
    return true;
}

bool Dataset::insert() { return beginNewRow(false); }

bool Dataset::append() { return beginNewRow(true); }

bool Dataset::beginNewRow(bool appending)
{
    if (!canModify() || !checkBrowseMode() || !runRule(beforeInsert_))
        return false;
    emit rowsAboutToChange();
    rowBeforeInsert_ = current_;
    appending_ = appending || rows_.empty();
    insertPosition_ = appending_ ? recordCount() : current_;
    buffer_.assign(fields_.size(), QVariant());
    state_ = DatasetState::Insert;
    current_ = insertPosition_;
    emit rowsChanged();
    emit stateChanged(state_);
    emit currentChanged(current_);
    if (!runRule(newRecord_)) {
        cancel();
        return false;
    }
    return true;
}

void Dataset::cancel()
{
    if (state_ == DatasetState::Insert) {
        emit rowsAboutToChange();
        state_ = DatasetState::Browse;
        buffer_.clear();
        current_ = rows_.empty() ? -1 : std::clamp(rowBeforeInsert_, 0, recordCount() - 1);
        emit rowsChanged();
        emit stateChanged(state_);
        emit currentChanged(current_);
    } else if (state_ == DatasetState::Edit) {
        buffer_.clear();
        setState(DatasetState::Browse);
        emit rowValuesChanged();
    }
}

bool Dataset::post()
{
    if (!isEditing())
        return isActive();
    emit updateRecordRequested();
    const int position = current_;
    std::vector<QVariant> writtenKey;
    try {
        engine::Transaction transaction(*connection_);
        if (!runRule(beforePost_))
            return false;
        const std::optional<std::vector<QVariant>> row = convertedBuffer();
        if (!row)
            return false;
        writtenKey = state_ == DatasetState::Insert ? insertRow(*row) : updateRow(*row);
        transaction.commit();
    } catch (const EngineError& error) {
        reportFailure(error);
        return false;
    }
    reload(writtenKey, position);
    emit posted();
    return true;
}

bool Dataset::remove()
{
    if (state_ == DatasetState::Insert) {
        cancel();
        return true;
    }
    if (!canModify() || current_ < 0)
        return false;
    cancel();
    const int position = current_;
    try {
        engine::Transaction transaction(*connection_);
        if (!runRule(beforeDelete_))
            return false;
        QStringList conditions;
        QVariantMap parameters;
        const std::vector<QVariant> key = keyValuesOf(rows_[current_]);
        for (size_t k = 0; k < key.size(); ++k) {
            conditions << QStringLiteral("%1 = :k%2").arg(fields_[keyColumns_[k]].name).arg(k);
            parameters.insert(QStringLiteral("k%1").arg(k), key[k]);
        }
        connection_->execute(
            QStringLiteral("delete from %1 where %2;").arg(table_, conditions.join(QStringLiteral(" and "))),
            parameters);
        transaction.commit();
    } catch (const EngineError& error) {
        reportFailure(error);
        return false;
    }
    reload({}, position);
    emit removed();
    return true;
}

// --- writing ------------------------------------------------------------------------------

std::optional<std::vector<QVariant>> Dataset::convertedBuffer()
{
    std::vector<QVariant> row(buffer_.size());
    for (size_t i = 0; i < buffer_.size(); ++i) {
        // Columns that are not written (a computed one) are not checked either.
        if (!isTableField(static_cast<int>(i))) {
            row[i] = buffer_[i];
            continue;
        }
        ConvertedValue converted = valueToStore(fields_[i].type, buffer_[i]);
        if (!converted.error.isEmpty()) {
            showNotice({NoticeKind::Error, converted.error});
            return std::nullopt;
        }
        row[i] = std::move(converted.value);
    }
    return row;
}

std::vector<QVariant> Dataset::insertRow(const std::vector<QVariant>& row)
{
    // A column left empty is left out, so that the table's default applies.
    QStringList columns;
    QStringList values;
    QVariantMap parameters;
    for (size_t i = 0; i < row.size(); ++i) {
        if (!isTableField(static_cast<int>(i)) || row[i].isNull())
            continue;
        const QString name = QStringLiteral("v%1").arg(i);
        columns << fields_[i].name;
        values << u':' + name;
        parameters.insert(name, row[i]);
    }
    if (columns.isEmpty()) {
        columns << fields_[keyColumns_.front()].name;
        values << QStringLiteral("null");
    }
    connection_->execute(QStringLiteral("insert into %1 (%2) values (%3);")
                             .arg(table_, columns.join(QStringLiteral(", ")), values.join(QStringLiteral(", "))),
                         parameters);
    std::vector<QVariant> key = keyValuesOf(row);
    // A key the table numbers itself (a counter) is the largest one just after the insert.
    if (key.size() == 1 && key.front().isNull()) {
        const engine::ResultSet latest = connection_->select(
            QStringLiteral("select max(%1) from %2;").arg(fields_[keyColumns_.front()].name, table_));
        if (latest.rowCount() == 1)
            key.front() = latest.rows.front().front();
    }
    return key;
}

std::vector<QVariant> Dataset::updateRow(const std::vector<QVariant>& row)
{
    const std::vector<QVariant>& stored = rows_[current_];
    QStringList assignments;
    QVariantMap parameters;
    for (size_t i = 0; i < row.size(); ++i) {
        if (!isTableField(static_cast<int>(i)) || sameValue(row[i], stored[i]))
            continue;
        const QString name = QStringLiteral("v%1").arg(i);
        assignments << QStringLiteral("%1 = :%2").arg(fields_[i].name, name);
        parameters.insert(name, row[i]);
    }
    if (assignments.isEmpty())
        return keyValuesOf(stored);
    QStringList conditions;
    const std::vector<QVariant> key = keyValuesOf(stored);
    for (size_t k = 0; k < key.size(); ++k) {
        conditions << QStringLiteral("%1 = :k%2").arg(fields_[keyColumns_[k]].name).arg(k);
        parameters.insert(QStringLiteral("k%1").arg(k), key[k]);
    }
    const int changed = connection_->execute(
        QStringLiteral("update %1 set %2 where %3;")
            .arg(table_, assignments.join(QStringLiteral(", ")), conditions.join(QStringLiteral(" and "))),
        parameters);
    if (changed == 0)
        throw EngineError("The row can no longer be found: another user may have deleted it.");
    return keyValuesOf(row);
}

// --- rules and messages -----------------------------------------------------------------------

bool Dataset::runRule(const Rule& rule)
{
    if (!rule)
        return true;
    const Verdict verdict = rule();
    if (verdict.hasNotice())
        showNotice(verdict.notice());
    return verdict.proceeds();
}

void Dataset::showNotice(const Notice& notice)
{
    if (messageHandler_)
        messageHandler_(notice);
}

void Dataset::reportFailure(const EngineError& error)
{
    showNotice({NoticeKind::Error, writeFailureText_ ? writeFailureText_(error) : error.message()});
}

void Dataset::handleException(std::exception_ptr exception)
{
    if (exceptionHandler_) {
        exceptionHandler_(exception);
        return;
    }
    try {
        std::rethrow_exception(exception);
    } catch (const std::exception& e) {
        showNotice({NoticeKind::Error, QString::fromUtf8(e.what())});
    } catch (...) {
        showNotice({NoticeKind::Error, QStringLiteral("Unknown failure.")});
    }
}

}  // namespace kelvo::dataaware
