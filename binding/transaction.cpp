#include "binding/transaction.h"

#include <algorithm>

#include "binding/database.h"
#include "binding/error.h"

namespace binding {

Transaction::Transaction(std::string componentName, Database& database)
    : componentName_(std::move(componentName)), database_(database) {}

Transaction::~Transaction() {
    if (handle_ == 0) return;
    const ClientApi& api = database_.api();
    ISC_STATUS_ARRAY status;
    api.commit_transaction(status, &handle_);
    if (failed(status)) api.rollback_transaction(status, &handle_);
    handle_ = 0;
}

void Transaction::start() {
    if (active()) return;
    database_.open();
    TransactionBlock teb{database_.handle(), 0, nullptr};
    ISC_STATUS_ARRAY status;
    database_.api().start_multiple(status, &handle_, 1, &teb);
    if (failed(status)) {
        handle_ = 0;
        check(database_.api(), status);
    }
}

void Transaction::commitRetaining() {
    if (!active()) throw Error("Transaction is not active");
    ISC_STATUS_ARRAY status;
    database_.api().commit_retaining(status, &handle_);
    check(database_.api(), status);
}

void Transaction::rollbackToLastCommit() {
    if (active()) {
        ISC_STATUS_ARRAY status;
        database_.api().rollback_transaction(status, &handle_);
        // Whatever the rollback answered, this handle must never reach the shutdown commit.
        handle_ = 0;
    }
    for (TransactionListener* listener : listeners_) listener->transactionEnded();
    // Started again by the next run, not here: what the user repairs between the error and
    // the next press (a value, a column added back) must be inside that run's snapshot.
}

void Transaction::removeListener(TransactionListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

}  // namespace binding
