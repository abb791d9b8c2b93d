// The Firebird client library as this program uses it: one table of entry points,
// resolved once when the library is loaded. Every database call of the binding goes
// through a ClientApi, so a caller may hand the binding a table of its own (for
// example one whose entries fail on purpose).
#pragma once

#include <ibase.h>

#include <memory>
#include <string>

namespace binding {

struct ClientApi {
    decltype(&::isc_attach_database) attach_database = nullptr;
    decltype(&::isc_detach_database) detach_database = nullptr;
    decltype(&::isc_database_info) database_info = nullptr;
    decltype(&::isc_start_multiple) start_multiple = nullptr;
    decltype(&::isc_commit_retaining) commit_retaining = nullptr;
    decltype(&::isc_commit_transaction) commit_transaction = nullptr;
    decltype(&::isc_rollback_transaction) rollback_transaction = nullptr;
    decltype(&::isc_dsql_allocate_statement) dsql_allocate_statement = nullptr;
    decltype(&::isc_dsql_prepare) dsql_prepare = nullptr;
    decltype(&::isc_dsql_describe) dsql_describe = nullptr;
    decltype(&::isc_dsql_describe_bind) dsql_describe_bind = nullptr;
    decltype(&::isc_dsql_execute) dsql_execute = nullptr;
    decltype(&::isc_dsql_execute2) dsql_execute2 = nullptr;
    decltype(&::isc_dsql_fetch) dsql_fetch = nullptr;
    decltype(&::isc_dsql_free_statement) dsql_free_statement = nullptr;
    decltype(&::fb_interpret) interpret = nullptr;
};

// Loads the client library and resolves every entry point of ClientApi. The library stays
// loaded for the rest of the process. Throws Error with the text the user sees at start-up
// when the library or one of its entry points cannot be found.
std::shared_ptr<const ClientApi> loadClientLibrary(const std::string& libraryName);

// The name under which the client library is looked for on this platform.
const char* defaultClientLibraryName();

}  // namespace binding

namespace binding {

// One entry of the vector isc_start_multiple takes: a database and its transaction
// parameters. The client library reads it with exactly this layout.
struct TransactionBlock {
    isc_db_handle* database;
    int parameterLength;
    const char* parameters;
};

}  // namespace binding
