// A table component: the row set of one database table, its field objects, and the
// statements that select, delete, insert and update its rows. A detail table follows
// the current row of its master through a data source. Rows fetched are kept, packed,
// so that First goes back to them without selecting again.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "binding/field.h"
#include "binding/statement.h"
#include "binding/transaction.h"

namespace binding {

class Database;
class DataSource;

class Table : private TransactionListener {
  public:
    Table(std::string componentName, Database& database, Transaction& transaction);
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const std::string& componentName() const { return componentName_; }

    // Configuration, before the table opens.
    void setTableName(std::string name) { tableName_ = std::move(name); }
    const std::string& tableName() const { return tableName_; }
    void setMaster(DataSource* source, std::vector<std::string> masterFields);
    void setIndexFieldNames(std::vector<std::string> names) { indexFieldNames_ = std::move(names); }
    // Field objects; a table with none exposes every column as a field once open.
    Field& addField(std::unique_ptr<Field> field);

    // Reads the table's definition, prepares its statements, selects and moves to the
    // first row. Connects and starts the transaction if needed. Open already: nothing.
    void open();
    bool active() const { return active_; }

    void first();
    void next();
    // Past the last row: Next found no further row, or First found the set empty.
    bool eof();
    bool isEmpty();

    void edit();
    void insert();
    // Writes a pending edit or insert (dropped when no field was set since it began).
    void post();
    // Drops a pending edit or insert without writing it.
    void cancel();
    // Writes a pending row, then selects the row set again.
    void refresh();
    // Deletes the current row from the database and moves to the following row, else
    // the preceding one.
    void remove();

    Field& fieldByName(const std::string& fieldName);
    Field* findField(const std::string& fieldName);
    const std::vector<Field*>& fields() const { return fieldList_; }

    // Rows held in the buffer, and the bytes they take.
    std::size_t bufferedRows() const { return rows_.size(); }

  private:
    friend class Field;
    enum class State { Browse, Edit, Insert };

    struct Column {
        std::string name;
        bool computed = false;
        int liveDecimals = 0;  // from the system tables
        short liveType = 0;    // RDB$FIELD_TYPE
        short sqltype = 0;     // slot type, without the null flag
        short sqlscale = 0;
        short sqllen = 0;
        std::size_t offset = 0;  // data in the row buffer
        std::size_t nullOffset = 0;
    };
    struct RowRef {
        std::uint64_t offset;
        std::uint32_t length;
    };

    void transactionEnded() override;

    void checkActive() const;
    void readDefinition();
    void bindFields();
    void layOutRow();
    void prepareSelect();
    Statement& writer(std::unique_ptr<Statement>& slot, const std::string& sql,
                      const std::vector<int>& columns, bool withKey);
    std::string quote(const std::string& identifier) const;

    // The row set
    void ensureSelected();
    void select();
    bool fetchRow();
    void loadRow(std::size_t index);
    void storeRow(std::size_t index);
    void appendRow();
    void postPending();
    void markStale();
    void masterChanged();
    void notifyDetails();
    void bindLinkParameters();

    // Current row buffer access, for fields
    const Column& liveColumn(int column) const;
    bool columnNull(int column) const;
    const char* columnData(int column) const;
    char* beginWrite(int column);
    void setColumnNull(int column);

    // Constant after construction
    const std::string componentName_;
    Database& database_;
    Transaction& transaction_;

    // Configuration
    std::string tableName_;
    Table* master_ = nullptr;
    std::vector<std::string> masterFields_;
    std::vector<std::string> indexFieldNames_;
    std::vector<std::unique_ptr<Field>> ownedFields_;
    std::vector<Field*> fieldList_;
    bool persistentFields_ = false;
    std::vector<Table*> details_;

    // Set when the table opens
    bool active_ = false;
    std::vector<Column> columns_;  // the table's columns, then the row key
    std::vector<std::string> primaryKey_;
    std::vector<int> linkColumns_;  // detail columns matched to the master's
    std::vector<int> masterColumns_;
    std::vector<int> writableColumns_;  // not computed, in table order
    int keyColumn_ = -1;
    std::unique_ptr<Statement> selectStatement_;
    std::unique_ptr<Statement> deleteStatement_;
    std::unique_ptr<Statement> insertStatement_;
    std::unique_ptr<Statement> updateStatement_;
    std::string selectSql_, deleteSql_, insertSql_, updateSql_;

    // The row set and the current row
    std::vector<char> rowBuffer_;
    std::vector<char> savedRow_;  // the row as it was when the edit began
    std::vector<char> arena_;     // packed rows
    std::vector<RowRef> rows_;
    std::size_t current_ = 0;
    bool eof_ = true;
    bool stale_ = false;
    bool fetchedAll_ = true;
    State state_ = State::Browse;
    bool modified_ = false;
};

}  // namespace binding
