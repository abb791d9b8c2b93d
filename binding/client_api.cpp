#include "binding/client_api.h"

#include "binding/error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace binding {
namespace {

const char* const kLibraryMissing =
    "InterBase library gds32.dll not found in the path. Please install InterBase to use this "
    "functionality";

void* openLibrary(const std::string& name) {
#ifdef _WIN32
    return reinterpret_cast<void*>(LoadLibraryA(name.c_str()));
#else
    return dlopen(name.c_str(), RTLD_NOW | RTLD_GLOBAL);
#endif
}

void* entryPoint(void* library, const char* name) {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

template <typename Fn>
void resolve(void* library, Fn& slot, const char* name) {
    void* address = entryPoint(library, name);
    // A library without one of the calls we need is as useless as no library at all.
    if (address == nullptr) throw Error(kLibraryMissing);
    slot = reinterpret_cast<Fn>(address);
}

}  // namespace

const char* defaultClientLibraryName() {
#ifdef _WIN32
    return "gds32.dll";
#else
    return "libfbclient.so.2";
#endif
}

std::shared_ptr<const ClientApi> loadClientLibrary(const std::string& libraryName) {
    void* library = openLibrary(libraryName);
    if (library == nullptr) throw Error(kLibraryMissing);
    auto api = std::make_shared<ClientApi>();
    resolve(library, api->attach_database, "isc_attach_database");
    resolve(library, api->detach_database, "isc_detach_database");
    resolve(library, api->database_info, "isc_database_info");
    resolve(library, api->start_multiple, "isc_start_multiple");
    resolve(library, api->commit_retaining, "isc_commit_retaining");
    resolve(library, api->commit_transaction, "isc_commit_transaction");
    resolve(library, api->rollback_transaction, "isc_rollback_transaction");
    resolve(library, api->dsql_allocate_statement, "isc_dsql_allocate_statement");
    resolve(library, api->dsql_prepare, "isc_dsql_prepare");
    resolve(library, api->dsql_describe, "isc_dsql_describe");
    resolve(library, api->dsql_describe_bind, "isc_dsql_describe_bind");
    resolve(library, api->dsql_execute, "isc_dsql_execute");
    resolve(library, api->dsql_execute2, "isc_dsql_execute2");
    resolve(library, api->dsql_fetch, "isc_dsql_fetch");
    resolve(library, api->dsql_free_statement, "isc_dsql_free_statement");
    resolve(library, api->interpret, "fb_interpret");
    return api;
}

}  // namespace binding
