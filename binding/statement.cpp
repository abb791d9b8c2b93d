#include "binding/statement.h"

#include <cstring>

#include "binding/client_api.h"
#include "binding/database.h"
#include "binding/error.h"

namespace binding {

Descriptor::Descriptor(int capacity) {
    storage_ = std::make_unique<char[]>(XSQLDA_LENGTH(capacity));
    std::memset(storage_.get(), 0, XSQLDA_LENGTH(capacity));
    get()->version = SQLDA_VERSION1;
    get()->sqln = static_cast<ISC_SHORT>(capacity);
}

bool Descriptor::fit() {
    if (get()->sqld <= get()->sqln) return false;
    const int needed = get()->sqld;
    *this = Descriptor(needed);
    return true;
}

Statement::Statement(Database& database) : database_(database), api_(database.api()) {}

Statement::~Statement() {
    if (handle_ == 0) return;
    ISC_STATUS_ARRAY status;
    api_.dsql_free_statement(status, &handle_, DSQL_drop);
}

void Statement::prepare(isc_tr_handle* transaction, const std::string& sql) {
    ISC_STATUS_ARRAY status;
    if (handle_ == 0) {
        api_.dsql_allocate_statement(status, database_.handle(), &handle_);
        check(api_, status);
    }
    sql_ = sql;
    const auto dialect = static_cast<unsigned short>(database_.sqlDialect());
    api_.dsql_prepare(status, transaction, &handle_, 0, sql_.c_str(), dialect, columns_.get());
    check(api_, status);
    if (columns_.fit()) {
        api_.dsql_describe(status, &handle_, SQLDA_VERSION1, columns_.get());
        check(api_, status);
    }
    api_.dsql_describe_bind(status, &handle_, SQLDA_VERSION1, parameters_.get());
    check(api_, status);
    if (parameters_.fit()) {
        api_.dsql_describe_bind(status, &handle_, SQLDA_VERSION1, parameters_.get());
        check(api_, status);
    }
}

void Statement::execute(isc_tr_handle* transaction) {
    ISC_STATUS_ARRAY status;
    XSQLDA* in = parameters_.count() > 0 ? parameters_.get() : nullptr;
    api_.dsql_execute(status, transaction, &handle_, SQLDA_VERSION1, in);
    check(api_, status);
    cursorOpen_ = columns_.count() > 0;
}

void Statement::executeReturning(isc_tr_handle* transaction) {
    ISC_STATUS_ARRAY status;
    XSQLDA* in = parameters_.count() > 0 ? parameters_.get() : nullptr;
    api_.dsql_execute2(status, transaction, &handle_, SQLDA_VERSION1, in, columns_.get());
    check(api_, status);
}

bool Statement::fetch() {
    ISC_STATUS_ARRAY status;
    const ISC_STATUS result = api_.dsql_fetch(status, &handle_, SQLDA_VERSION1, columns_.get());
    if (result == 100) return false;
    check(api_, status);
    return true;
}

void Statement::closeCursor() {
    if (!cursorOpen_) return;
    cursorOpen_ = false;
    ISC_STATUS_ARRAY status;
    api_.dsql_free_statement(status, &handle_, DSQL_close);
    check(api_, status);
}

}  // namespace binding
