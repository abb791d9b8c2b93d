// The one transaction of the stock work (the component IBTransaction1). It lives from the
// first run until shutdown, committing with retaining after each product. Tables register
// with it so they learn when their open cursors have gone with a transaction's end.
#pragma once

#include <ibase.h>

#include <string>
#include <vector>

namespace binding {

class Database;

// Told when the transaction has ended under the tables' feet (cursors closed, pending
// work undone), so each can drop what it was holding.
class TransactionListener {
  public:
    virtual void transactionEnded() = 0;

  protected:
    ~TransactionListener() = default;
};

class Transaction {
  public:
    Transaction(std::string componentName, Database& database);
    // Shutdown: a still active transaction is committed, rolled back only if the commit
    // fails; nothing is reported.
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    const std::string& componentName() const { return componentName_; }
    Database& database() { return database_; }

    bool active() const { return handle_ != 0; }
    // Starts the transaction unless it is active; the database's defaults apply.
    void start();
    // Makes the work so far permanent; cursors and the snapshot stay.
    void commitRetaining();
    // Undoes everything since the last commit; the next start begins afresh, so the next run
    // sees the database as it is then (a lock another user has since released, a row they
    // changed, a column put back). Listeners are told. If the rollback itself fails the old
    // transaction is abandoned, never committed; the server undoes it when the connection
    // goes.
    void rollbackToLastCommit();

    isc_tr_handle* handle() { return &handle_; }

    void addListener(TransactionListener* listener) { listeners_.push_back(listener); }
    void removeListener(TransactionListener* listener);

  private:
    // Constant after construction
    const std::string componentName_;
    Database& database_;

    isc_tr_handle handle_ = 0;
    std::vector<TransactionListener*> listeners_;
};

}  // namespace binding
