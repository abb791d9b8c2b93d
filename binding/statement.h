// One prepared SQL statement of a connection, with its parameter and column descriptors.
// The statement is prepared once and executed as often as needed; the data areas of the
// descriptors are pointed by the owner at its own buffers. Freed when destroyed.
#pragma once

#include <ibase.h>

#include <memory>
#include <string>

namespace binding {

class Database;
struct ClientApi;

// An XSQLDA with room for a given number of variables, owned.
class Descriptor {
  public:
    explicit Descriptor(int capacity = 1);
    XSQLDA* get() { return reinterpret_cast<XSQLDA*>(storage_.get()); }
    const XSQLDA* get() const { return reinterpret_cast<const XSQLDA*>(storage_.get()); }
    int count() const { return get()->sqld; }
    XSQLVAR& var(int i) { return get()->sqlvar[i]; }
    // Grows to hold the count the server described; returns true if it had to.
    bool fit();

  private:
    std::unique_ptr<char[]> storage_;
};

class Statement {
  public:
    explicit Statement(Database& database);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Prepares and describes columns and parameters.
    void prepare(isc_tr_handle* transaction, const std::string& sql);
    const std::string& sql() const { return sql_; }

    Descriptor& columns() { return columns_; }
    Descriptor& parameters() { return parameters_; }

    // Executes with the parameters; a select opens its cursor.
    void execute(isc_tr_handle* transaction);
    // Executes a statement that returns one row into the columns (INSERT ... RETURNING).
    void executeReturning(isc_tr_handle* transaction);
    // Fetches the next row into the columns; false at the end of the set.
    bool fetch();
    // Closes the cursor of a select.
    void closeCursor();
    // Forgets a cursor that went with its transaction.
    void forgetCursor() { cursorOpen_ = false; }
    bool cursorOpen() const { return cursorOpen_; }

  private:
    Database& database_;
    const ClientApi& api_;
    isc_stmt_handle handle_ = 0;
    std::string sql_;
    Descriptor columns_;
    Descriptor parameters_;
    bool cursorOpen_ = false;
};

}  // namespace binding
