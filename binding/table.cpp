#include "binding/table.h"

#include <algorithm>
#include <cstring>

#include "binding/data_source.h"
#include "binding/database.h"
#include "binding/error.h"

namespace binding {
namespace {

// System-table field type codes.
constexpr short kSmallint = 7, kInteger = 8, kFloat = 10, kDate = 12, kTime = 13, kChar = 14,
                kBigint = 16, kDouble = 27, kTimestamp = 35, kVarchar = 37, kBlob = 261;

constexpr std::size_t align(std::size_t offset, std::size_t to) {
    return (offset + to - 1) / to * to;
}

std::string trimRight(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::string literal(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return quoted + "'";
}

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

const char* liveTypeName(short type, int decimals) {
    switch (type) {
        case kSmallint:
        case kInteger:
            return decimals != 0 ? "BCD" : type == kSmallint ? "Smallint" : "Integer";
        case kBigint:
            return decimals != 0 ? "BCD" : "Largeint";
        case kFloat:
        case kDouble:
            return decimals != 0 ? "BCD" : "Float";
        case kChar:
        case kVarchar:
            return "String";
        case kDate:
            return "Date";
        case kTime:
            return "Time";
        case kTimestamp:
            return "DateTime";
        case kBlob:
            return "Blob";
        default:
            return "Unknown";
    }
}

const char* kindName(FieldKind kind) {
    switch (kind) {
        case FieldKind::Integer:
            return "Integer";
        case FieldKind::Fixed:
            return "BCD";
        case FieldKind::String:
            return "String";
        case FieldKind::Date:
            return "Date";
        case FieldKind::Time:
            return "Time";
        case FieldKind::Other:
            break;
    }
    return "Unknown";
}

bool kindFits(FieldKind kind, short type, int decimals) {
    switch (kind) {
        case FieldKind::Integer:
            return (type == kSmallint || type == kInteger) && decimals == 0;
        case FieldKind::Fixed:
            return type == kSmallint || type == kInteger || type == kBigint || type == kDouble;
        case FieldKind::String:
            return type == kChar || type == kVarchar;
        // A database of the older dialect keeps dates and times of day as timestamps.
        case FieldKind::Date:
            return type == kDate || type == kTimestamp;
        case FieldKind::Time:
            return type == kTime || type == kTimestamp;
        case FieldKind::Other:
            return true;
    }
    return false;
}

FieldKind kindOf(short type, int decimals) {
    switch (type) {
        case kSmallint:
        case kInteger:
            return decimals == 0 ? FieldKind::Integer : FieldKind::Fixed;
        case kBigint:
        case kDouble:
            return decimals == 0 ? FieldKind::Other : FieldKind::Fixed;
        case kChar:
        case kVarchar:
            return FieldKind::String;
        case kDate:
            return FieldKind::Date;
        case kTime:
            return FieldKind::Time;
        default:
            return FieldKind::Other;
    }
}

// A transaction of the connection's own for reading the system tables, ended at once.
class MetadataTransaction {
  public:
    explicit MetadataTransaction(Database& database) : database_(database) {
        static const char tpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed,
                                   isc_tpb_rec_version, isc_tpb_nowait};
        TransactionBlock teb{database.handle(), sizeof tpb, tpb};
        ISC_STATUS_ARRAY status;
        database.api().start_multiple(status, &handle_, 1, &teb);
        if (failed(status)) {
            handle_ = 0;
            check(database.api(), status);
        }
    }
    ~MetadataTransaction() {
        if (handle_ == 0) return;
        ISC_STATUS_ARRAY status;
        database_.api().rollback_transaction(status, &handle_);
    }
    MetadataTransaction(const MetadataTransaction&) = delete;
    MetadataTransaction& operator=(const MetadataTransaction&) = delete;

    isc_tr_handle* handle() { return &handle_; }
    void commit() {
        ISC_STATUS_ARRAY status;
        database_.api().commit_transaction(status, &handle_);
        check(database_.api(), status);
        handle_ = 0;
    }

  private:
    Database& database_;
    isc_tr_handle handle_ = 0;
};

// Runs a query and returns every value as text (null as empty).
std::vector<std::vector<std::string>> queryText(Database& database, isc_tr_handle* transaction,
                                                const std::string& sql) {
    Statement statement(database);
    statement.prepare(transaction, sql);
    Descriptor& columns = statement.columns();
    const int count = columns.count();
    constexpr short kWidth = 256;
    std::vector<char> buffer(static_cast<std::size_t>(count) * (kWidth + 2 + sizeof(short)));
    for (int i = 0; i < count; ++i) {
        XSQLVAR& var = columns.var(i);
        var.sqltype = SQL_VARYING + 1;
        var.sqlscale = 0;
        var.sqllen = kWidth;
        char* base = buffer.data() + static_cast<std::size_t>(i) * (kWidth + 2 + sizeof(short));
        var.sqlind = reinterpret_cast<short*>(base);
        var.sqldata = base + sizeof(short);
    }
    statement.execute(transaction);
    std::vector<std::vector<std::string>> rows;
    while (statement.fetch()) {
        std::vector<std::string>& row = rows.emplace_back();
        for (int i = 0; i < count; ++i) {
            const XSQLVAR& var = columns.var(i);
            if (*var.sqlind < 0) {
                row.emplace_back();
                continue;
            }
            unsigned short length;
            std::memcpy(&length, var.sqldata, sizeof length);
            row.emplace_back(var.sqldata + 2, length);
        }
    }
    statement.closeCursor();
    return rows;
}

std::size_t slotSize(short sqltype, short sqllen) {
    return static_cast<std::size_t>(sqllen) + (sqltype == SQL_VARYING ? 2 : 0);
}

}  // namespace

Table::Table(std::string componentName, Database& database, Transaction& transaction)
    : componentName_(std::move(componentName)), database_(database), transaction_(transaction) {
    transaction_.addListener(this);
}

Table::~Table() {
    transaction_.removeListener(this);
    if (master_ != nullptr) {
        auto& siblings = master_->details_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    for (Table* detail : details_) detail->master_ = nullptr;
}

void Table::setMaster(DataSource* source, std::vector<std::string> masterFields) {
    // The master table itself is kept: the data source may go before this table does.
    master_ = source != nullptr ? source->dataSet() : nullptr;
    masterFields_ = std::move(masterFields);
    if (master_ != nullptr) master_->details_.push_back(this);
}

Field& Table::addField(std::unique_ptr<Field> field) {
    persistentFields_ = true;
    field->table_ = this;
    fieldList_.push_back(field.get());
    ownedFields_.push_back(std::move(field));
    return *fieldList_.back();
}

std::string Table::quote(const std::string& identifier) const {
    if (database_.sqlDialect() < 3) return identifier;
    std::string quoted = "\"";
    for (char c : identifier) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

void Table::checkActive() const {
    if (!active_)
        throw Error(
            tableMessage(componentName_, "Cannot perform this operation on a closed dataset"));
}

void Table::open() {
    if (active_) return;
    if (tableName_.empty()) throw Error(tableMessage(componentName_, "Table name not specified"));
    transaction_.start();
    try {
        readDefinition();
        bindFields();
        prepareSelect();
        active_ = true;
        stale_ = false;
        select();
    } catch (...) {
        active_ = false;
        selectStatement_.reset();
        deleteStatement_.reset();
        insertStatement_.reset();
        updateStatement_.reset();
        columns_.clear();
        if (!persistentFields_) {
            fieldList_.clear();
            ownedFields_.clear();
        }
        throw;
    }
}

void Table::readDefinition() {
    const std::string relation =
        literal(database_.sqlDialect() < 3 ? upper(tableName_) : tableName_);
    MetadataTransaction metadata(database_);
    const auto columnRows = queryText(
        database_, metadata.handle(),
        "SELECT RF.RDB$FIELD_NAME, CASE WHEN F.RDB$COMPUTED_BLR IS NULL THEN 0 ELSE 1 END, "
        "COALESCE(F.RDB$FIELD_SCALE, 0), F.RDB$FIELD_TYPE "
        "FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
        "WHERE RF.RDB$RELATION_NAME = " +
            relation + " ORDER BY RF.RDB$FIELD_POSITION");
    const auto keyRows = queryText(
        database_, metadata.handle(),
        "SELECT S.RDB$FIELD_NAME FROM RDB$RELATION_CONSTRAINTS RC "
        "JOIN RDB$INDEX_SEGMENTS S ON S.RDB$INDEX_NAME = RC.RDB$INDEX_NAME "
        "WHERE RC.RDB$RELATION_NAME = " +
            relation + " AND RC.RDB$CONSTRAINT_TYPE = 'PRIMARY KEY' ORDER BY S.RDB$FIELD_POSITION");
    metadata.commit();

    if (columnRows.empty()) {
        // No such table: let the database say so in its own words, rather than report the
        // first field object as missing.
        Statement probe(database_);
        probe.prepare(transaction_.handle(), "SELECT RDB$DB_KEY FROM " + quote(tableName_));
        throw Error(tableMessage(componentName_, "Table '" + tableName_ + "' has no columns"));
    }

    columns_.clear();
    for (const auto& row : columnRows) {
        Column column;
        column.name = trimRight(row[0]);
        column.computed = row[1] == "1";
        column.liveDecimals = -std::stoi(row[2]);
        column.liveType = static_cast<short>(std::stoi(row[3]));
        columns_.push_back(std::move(column));
    }
    primaryKey_.clear();
    for (const auto& row : keyRows) primaryKey_.push_back(trimRight(row[0]));
}

void Table::bindFields() {
    auto columnIndex = [this](const std::string& name) {
        for (std::size_t i = 0; i < columns_.size(); ++i)
            if (columns_[i].name == name) return static_cast<int>(i);
        return -1;
    };
    if (persistentFields_) {
        for (Field* field : fieldList_) {
            const int index = columnIndex(field->fieldName());
            if (index < 0)
                throw Error(
                    tableMessage(componentName_, "Field '" + field->fieldName() + "' not found"));
            const Column& column = columns_[static_cast<std::size_t>(index)];
            if (!kindFits(field->kind(), column.liveType, column.liveDecimals))
                throw Error(tableMessage(
                    componentName_, "Type mismatch for field '" + field->fieldName() +
                                        "', expecting: " + kindName(field->kind()) + " actual: " +
                                        liveTypeName(column.liveType, column.liveDecimals)));
            if (field->kind() == FieldKind::Fixed && column.liveDecimals != field->size())
                throw Error(tableMessage(componentName_,
                                         "Size mismatch for field '" + field->fieldName() +
                                             "', expecting: " + std::to_string(field->size()) +
                                             " actual: " + std::to_string(column.liveDecimals)));
            field->column_ = index;
        }
    } else {
        fieldList_.clear();
        ownedFields_.clear();
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            const Column& column = columns_[i];
            const FieldKind kind = kindOf(column.liveType, column.liveDecimals);
            auto field =
                std::make_unique<Field>(column.name, column.name, kind,
                                        kind == FieldKind::Fixed ? column.liveDecimals : 0, false);
            field->table_ = this;
            field->column_ = static_cast<int>(i);
            fieldList_.push_back(field.get());
            ownedFields_.push_back(std::move(field));
        }
    }

    linkColumns_.clear();
    masterColumns_.clear();
    if (master_ != nullptr) {
        Table& master = *master_;
        if (!master.active_) master.open();
        if (masterFields_.size() != indexFieldNames_.size())
            throw Error(tableMessage(componentName_, "Master and detail fields do not pair"));
        for (std::size_t i = 0; i < masterFields_.size(); ++i) {
            const int detail = columnIndex(indexFieldNames_[i]);
            if (detail < 0)
                throw Error(
                    tableMessage(componentName_, "Field '" + indexFieldNames_[i] + "' not found"));
            int masterColumn = -1;
            for (std::size_t j = 0; j < master.columns_.size(); ++j)
                if (master.columns_[j].name == masterFields_[i]) masterColumn = static_cast<int>(j);
            if (masterColumn < 0)
                throw Error(tableMessage(master.componentName_,
                                         "Field '" + masterFields_[i] + "' not found"));
            linkColumns_.push_back(detail);
            masterColumns_.push_back(masterColumn);
        }
    }
}

void Table::prepareSelect() {
    std::string sql = "SELECT ";
    for (const Column& column : columns_) sql += quote(column.name) + ", ";
    sql += "RDB$DB_KEY AS IBX_INTERNAL_DBKEY FROM " + quote(tableName_);
    std::vector<std::string> order;
    if (!linkColumns_.empty()) {
        sql += " WHERE ";
        for (std::size_t i = 0; i < linkColumns_.size(); ++i) {
            if (i > 0) sql += " AND ";
            sql += quote(indexFieldNames_[i]) + " = ?";
        }
        order = indexFieldNames_;
    } else {
        order = indexFieldNames_.empty() ? primaryKey_ : indexFieldNames_;
    }
    if (!order.empty()) {
        sql += " ORDER BY ";
        for (std::size_t i = 0; i < order.size(); ++i) sql += (i > 0 ? ", " : "") + quote(order[i]);
    }
    selectSql_ = sql;
    selectStatement_ = std::make_unique<Statement>(database_);
    selectStatement_->prepare(transaction_.handle(), selectSql_);

    Column key;
    key.name = "IBX_INTERNAL_DBKEY";
    key.computed = true;
    columns_.push_back(key);
    keyColumn_ = static_cast<int>(columns_.size()) - 1;

    // Slot types: what the server describes, with fixed-point fields carried as
    // ten-thousandths and text as varying text, so that reading and writing through a field
    // never rounds or pads on this side.
    Descriptor& out = selectStatement_->columns();
    std::vector<FieldKind> kinds(columns_.size(), FieldKind::Other);
    for (Field* field : fieldList_) kinds[static_cast<std::size_t>(field->column_)] = field->kind();
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        XSQLVAR& var = out.var(static_cast<int>(i));
        Column& column = columns_[i];
        short type = static_cast<short>(var.sqltype & ~1);
        short scale = var.sqlscale;
        short length = var.sqllen;
        if (kinds[i] == FieldKind::Fixed) {
            type = SQL_INT64;
            scale = kFixedPointScale;
            length = sizeof(ISC_INT64);
        } else if (type == SQL_TEXT && static_cast<int>(i) != keyColumn_) {
            type = SQL_VARYING;
        }
        column.sqltype = type;
        column.sqlscale = scale;
        column.sqllen = length;
    }
    layOutRow();
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        XSQLVAR& var = out.var(static_cast<int>(i));
        const Column& column = columns_[i];
        var.sqltype = static_cast<short>(column.sqltype | 1);
        var.sqlscale = column.sqlscale;
        var.sqllen = column.sqllen;
        var.sqldata = rowBuffer_.data() + column.offset;
        var.sqlind = reinterpret_cast<short*>(rowBuffer_.data() + column.nullOffset);
    }

    writableColumns_.clear();
    for (std::size_t i = 0; i < columns_.size(); ++i)
        if (!columns_[i].computed) writableColumns_.push_back(static_cast<int>(i));

    std::string names, marks, sets;
    for (int index : writableColumns_) {
        const std::string name = quote(columns_[static_cast<std::size_t>(index)].name);
        names += (names.empty() ? "" : ", ") + name;
        marks += marks.empty() ? "?" : ", ?";
        sets += (sets.empty() ? "" : ", ") + name + " = ?";
    }
    deleteSql_ = "DELETE FROM " + quote(tableName_) + " WHERE RDB$DB_KEY = ?";
    insertSql_ = "INSERT INTO " + quote(tableName_) + " (" + names + ") VALUES (" + marks +
                 ") RETURNING RDB$DB_KEY";
    updateSql_ = "UPDATE " + quote(tableName_) + " SET " + sets + " WHERE RDB$DB_KEY = ?";
}

void Table::layOutRow() {
    std::size_t offset = 0;
    for (Column& column : columns_) {
        offset = align(offset, alignof(short));
        column.nullOffset = offset;
        offset += sizeof(short);
        offset = align(offset, 8);
        column.offset = offset;
        offset += slotSize(column.sqltype, column.sqllen);
    }
    rowBuffer_.assign(offset, 0);
    savedRow_.assign(offset, 0);
    for (const Column& column : columns_)
        setColumnNull(static_cast<int>(&column - columns_.data()));
}

Statement& Table::writer(std::unique_ptr<Statement>& slot, const std::string& sql,
                         const std::vector<int>& columns, bool withKey) {
    if (slot) return *slot;
    auto statement = std::make_unique<Statement>(database_);
    statement->prepare(transaction_.handle(), sql);
    Descriptor& in = statement->parameters();
    std::vector<int> bound = columns;
    if (withKey) bound.push_back(keyColumn_);
    if (in.count() != static_cast<int>(bound.size()))
        throw Error(tableMessage(componentName_, "Unexpected parameters in " + sql));
    for (std::size_t i = 0; i < bound.size(); ++i) {
        const Column& column = columns_[static_cast<std::size_t>(bound[i])];
        XSQLVAR& var = in.var(static_cast<int>(i));
        var.sqltype = static_cast<short>(column.sqltype | 1);
        var.sqlscale = column.sqlscale;
        var.sqllen = column.sqllen;
        var.sqldata = rowBuffer_.data() + column.offset;
        var.sqlind = reinterpret_cast<short*>(rowBuffer_.data() + column.nullOffset);
    }
    // The insert hands back the new row's key into the row buffer.
    Descriptor& out = statement->columns();
    if (out.count() == 1) {
        const Column& key = columns_[static_cast<std::size_t>(keyColumn_)];
        XSQLVAR& var = out.var(0);
        var.sqltype = static_cast<short>(key.sqltype | 1);
        var.sqldata = rowBuffer_.data() + key.offset;
        var.sqlind = reinterpret_cast<short*>(rowBuffer_.data() + key.nullOffset);
    }
    slot = std::move(statement);
    return *slot;
}

void Table::bindLinkParameters() {
    if (linkColumns_.empty()) return;
    Descriptor& in = selectStatement_->parameters();
    Table* master = master_;
    if (master != nullptr && master->active_) master->ensureSelected();
    const bool hasRow = master != nullptr && master->active_ && !master->rows_.empty();
    static short nullIndicator = -1;
    static ISC_INT64 nothing = 0;
    for (std::size_t i = 0; i < linkColumns_.size(); ++i) {
        XSQLVAR& var = in.var(static_cast<int>(i));
        if (!hasRow) {
            var.sqltype = SQL_INT64 + 1;
            var.sqlscale = 0;
            var.sqllen = sizeof nothing;
            var.sqldata = reinterpret_cast<char*>(&nothing);
            var.sqlind = &nullIndicator;
            continue;
        }
        const Column& column = master->columns_[static_cast<std::size_t>(masterColumns_[i])];
        var.sqltype = static_cast<short>(column.sqltype | 1);
        var.sqlscale = column.sqlscale;
        var.sqllen = column.sqllen;
        var.sqldata = master->rowBuffer_.data() + column.offset;
        var.sqlind = reinterpret_cast<short*>(master->rowBuffer_.data() + column.nullOffset);
    }
}

// ---- The row set ----------------------------------------------------------------------

void Table::ensureSelected() {
    if (stale_) select();
}

void Table::select() {
    stale_ = true;  // until the new set is in
    if (selectStatement_->cursorOpen()) selectStatement_->closeCursor();
    rows_.clear();
    arena_.clear();
    current_ = 0;
    state_ = State::Browse;
    modified_ = false;
    bindLinkParameters();
    selectStatement_->execute(transaction_.handle());
    fetchedAll_ = false;
    stale_ = false;
    eof_ = !fetchRow();
    notifyDetails();
}

bool Table::fetchRow() {
    if (fetchedAll_) return false;
    if (!selectStatement_->fetch()) {
        fetchedAll_ = true;
        selectStatement_->closeCursor();
        return false;
    }
    appendRow();
    current_ = rows_.size() - 1;
    return true;
}

// Packed form of a row: a bitmap of null columns, then each non-null value, varying text
// with its two-byte length and only the characters it has.
void Table::appendRow() {
    const std::size_t start = arena_.size();
    const std::size_t bitmap = (columns_.size() + 7) / 8;
    arena_.resize(start + bitmap, 0);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const Column& column = columns_[i];
        short indicator;
        std::memcpy(&indicator, rowBuffer_.data() + column.nullOffset, sizeof indicator);
        if (indicator < 0) {
            arena_[start + i / 8] = static_cast<char>(arena_[start + i / 8] | (1 << (i % 8)));
            continue;
        }
        const char* data = rowBuffer_.data() + column.offset;
        std::size_t length = static_cast<std::size_t>(column.sqllen);
        if (column.sqltype == SQL_VARYING) {
            unsigned short actual;
            std::memcpy(&actual, data, sizeof actual);
            length = 2 + std::min<std::size_t>(actual, static_cast<std::size_t>(column.sqllen));
        }
        arena_.insert(arena_.end(), data, data + length);
    }
    rows_.push_back({start, static_cast<std::uint32_t>(arena_.size() - start)});
}

void Table::loadRow(std::size_t index) {
    const RowRef ref = rows_[index];
    const char* packed = arena_.data() + ref.offset;
    const std::size_t bitmap = (columns_.size() + 7) / 8;
    const char* cursor = packed + bitmap;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const Column& column = columns_[i];
        const bool isNull = (packed[i / 8] >> (i % 8)) & 1;
        const short indicator = isNull ? -1 : 0;
        std::memcpy(rowBuffer_.data() + column.nullOffset, &indicator, sizeof indicator);
        if (isNull) continue;
        std::size_t length = static_cast<std::size_t>(column.sqllen);
        if (column.sqltype == SQL_VARYING) {
            unsigned short actual;
            std::memcpy(&actual, cursor, sizeof actual);
            length = 2 + actual;
        }
        std::memcpy(rowBuffer_.data() + column.offset, cursor, length);
        cursor += length;
    }
}

void Table::storeRow(std::size_t index) {
    const RowRef old = rows_[index];
    const std::size_t end = arena_.size();
    appendRow();
    RowRef fresh = rows_.back();
    rows_.pop_back();
    if (fresh.length <= old.length) {
        // Written back in place, so a row edited on every run takes no more room.
        std::memmove(arena_.data() + old.offset, arena_.data() + fresh.offset, fresh.length);
        arena_.resize(end);
        fresh.offset = old.offset;
    }
    rows_[index] = fresh;
}

void Table::postPending() {
    if (state_ != State::Browse) post();
}

void Table::markStale() {
    stale_ = true;
    notifyDetails();
}

void Table::masterChanged() {
    if (!active_) return;
    postPending();
    markStale();
}

void Table::notifyDetails() {
    for (Table* detail : details_) detail->masterChanged();
}

void Table::transactionEnded() {
    if (!active_) return;
    selectStatement_->forgetCursor();
    cancel();
    stale_ = true;
    // A run that failed may have failed on a trigger or constraint since changed by the
    // shop; writing statements prepared again compile the table's definition as it is now.
    deleteStatement_.reset();
    insertStatement_.reset();
    updateStatement_.reset();
}

// ---- Navigation and editing --------------------------------------------------------------

void Table::first() {
    checkActive();
    postPending();
    if (stale_) {
        select();
        return;
    }
    if (rows_.empty()) {
        eof_ = true;
        return;
    }
    current_ = 0;
    loadRow(0);
    eof_ = false;
    notifyDetails();
}

void Table::next() {
    checkActive();
    postPending();
    ensureSelected();
    if (rows_.empty()) {
        eof_ = true;
        return;
    }
    if (current_ + 1 < rows_.size()) {
        ++current_;
        loadRow(current_);
    } else if (!fetchRow()) {
        eof_ = true;
        return;
    }
    eof_ = false;
    notifyDetails();
}

bool Table::eof() {
    checkActive();
    ensureSelected();
    return eof_;
}

bool Table::isEmpty() {
    checkActive();
    ensureSelected();
    return rows_.empty();
}

void Table::edit() {
    checkActive();
    ensureSelected();
    if (state_ != State::Browse) return;
    if (rows_.empty())
        throw Error(
            tableMessage(componentName_, "Cannot perform this operation on an empty dataset"));
    savedRow_ = rowBuffer_;
    state_ = State::Edit;
    modified_ = false;
    notifyDetails();
}

void Table::insert() {
    checkActive();
    postPending();
    // A row set due to be selected again stays so: the new row needs none of it, and the
    // next read selects the set with this row in it.
    savedRow_ = rowBuffer_;
    for (std::size_t i = 0; i < columns_.size(); ++i) setColumnNull(static_cast<int>(i));
    Table* master = master_;
    if (master != nullptr && master->active_ && !master->rows_.empty()) {
        for (std::size_t i = 0; i < linkColumns_.size(); ++i) {
            const Column& from = master->columns_[static_cast<std::size_t>(masterColumns_[i])];
            const Column& to = columns_[static_cast<std::size_t>(linkColumns_[i])];
            short indicator;
            std::memcpy(&indicator, master->rowBuffer_.data() + from.nullOffset, sizeof indicator);
            if (indicator < 0) continue;
            if (from.sqltype != to.sqltype || from.sqllen != to.sqllen ||
                from.sqlscale != to.sqlscale)
                throw Error(tableMessage(
                    componentName_, "Field '" + to.name + "' does not match its master field"));
            std::memcpy(rowBuffer_.data() + to.nullOffset, &indicator, sizeof indicator);
            std::memcpy(rowBuffer_.data() + to.offset, master->rowBuffer_.data() + from.offset,
                        slotSize(from.sqltype, from.sqllen));
        }
    }
    state_ = State::Insert;
    modified_ = false;
    notifyDetails();
}

void Table::post() {
    checkActive();
    if (state_ == State::Browse) return;
    if (!modified_) {
        cancel();
        return;
    }
    for (Field* field : fieldList_)
        if (field->required() && field->isNull())
            throw Error("Field '" + field->fieldName() + "' must have a value");
    if (state_ == State::Edit) {
        writer(updateStatement_, updateSql_, writableColumns_, true).execute(transaction_.handle());
        storeRow(current_);
    } else {
        writer(insertStatement_, insertSql_, writableColumns_, false)
            .executeReturning(transaction_.handle());
        if (stale_) {
            // The next read selects the set afresh, with this row in it.
            state_ = State::Browse;
            modified_ = false;
            notifyDetails();
            return;
        }
        appendRow();
        const RowRef ref = rows_.back();
        rows_.pop_back();
        const std::size_t at = std::min(current_, rows_.size());
        rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), ref);
        current_ = at;
    }
    state_ = State::Browse;
    modified_ = false;
    eof_ = false;
    notifyDetails();
}

void Table::cancel() {
    if (state_ == State::Browse) return;
    if (state_ == State::Insert && !stale_ && current_ < rows_.size()) {
        loadRow(current_);
    } else {
        rowBuffer_ = savedRow_;
    }
    state_ = State::Browse;
    modified_ = false;
}

void Table::refresh() {
    checkActive();
    post();
    markStale();
}

void Table::remove() {
    checkActive();
    ensureSelected();
    if (state_ == State::Insert) {
        cancel();
        return;
    }
    cancel();
    if (rows_.empty())
        throw Error(
            tableMessage(componentName_, "Cannot perform this operation on an empty dataset"));
    writer(deleteStatement_, deleteSql_, {}, true).execute(transaction_.handle());
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(current_));
    if (current_ < rows_.size()) {
        loadRow(current_);
    } else if (!fetchRow() && !rows_.empty()) {
        current_ = rows_.size() - 1;
        loadRow(current_);
    }
    eof_ = rows_.empty();
    if (rows_.empty()) current_ = 0;
    notifyDetails();
}

Field* Table::findField(const std::string& fieldName) {
    for (Field* field : fieldList_)
        if (field->fieldName() == fieldName) return field;
    return nullptr;
}

Field& Table::fieldByName(const std::string& fieldName) {
    if (Field* field = findField(fieldName)) return *field;
    throw Error(tableMessage(componentName_, "Field '" + fieldName + "' not found"));
}

// ---- Row buffer access for fields -------------------------------------------------------

const Table::Column& Table::liveColumn(int column) const {
    checkActive();
    return columns_[static_cast<std::size_t>(column)];
}

bool Table::columnNull(int column) const {
    short indicator;
    std::memcpy(&indicator,
                rowBuffer_.data() + columns_[static_cast<std::size_t>(column)].nullOffset,
                sizeof indicator);
    return indicator < 0 || (rows_.empty() && state_ != State::Insert);
}

const char* Table::columnData(int column) const {
    return rowBuffer_.data() + columns_[static_cast<std::size_t>(column)].offset;
}

char* Table::beginWrite(int column) {
    checkActive();
    if (state_ == State::Browse)
        throw Error(tableMessage(componentName_, "Dataset not in edit or insert mode"));
    modified_ = true;
    const short indicator = 0;
    std::memcpy(rowBuffer_.data() + columns_[static_cast<std::size_t>(column)].nullOffset,
                &indicator, sizeof indicator);
    return rowBuffer_.data() + columns_[static_cast<std::size_t>(column)].offset;
}

void Table::setColumnNull(int column) {
    const short indicator = -1;
    std::memcpy(rowBuffer_.data() + columns_[static_cast<std::size_t>(column)].nullOffset,
                &indicator, sizeof indicator);
}

}  // namespace binding
