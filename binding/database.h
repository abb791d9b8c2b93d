// The connection to one database file (the component IBDatabase1): its name, its attach
// parameters and the SQL dialect the binding works in once attached. Detaches when
// destroyed, after every transaction and table of the connection has gone.
#pragma once

#include <ibase.h>

#include <memory>
#include <string>
#include <vector>

#include "binding/client_api.h"

namespace binding {

class Database {
  public:
    Database(std::string componentName, std::shared_ptr<const ClientApi> api);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::string& componentName() const { return componentName_; }
    const ClientApi& api() const { return *api_; }

    // Storing the name it already has is harmless; another name while attached is refused.
    void setDatabaseName(const std::string& name);
    const std::string& databaseName() const { return databaseName_; }

    // Lines of the form "user_name=SYSDBA", "password=...".
    void setParams(std::vector<std::string> lines) { params_ = std::move(lines); }
    void setSqlDialect(int dialect) { configuredDialect_ = dialect; }

    bool connected() const { return handle_ != 0; }
    // Attaches unless attached already.
    void open();
    // The dialect statements are prepared in: the configured one, lowered to the
    // database's own when that is older.
    int sqlDialect() const { return dialect_; }

    isc_db_handle* handle() { return &handle_; }

  private:
    std::string attachParameters() const;

    // Constant after construction
    const std::string componentName_;
    const std::shared_ptr<const ClientApi> api_;

    std::string databaseName_;
    std::vector<std::string> params_;
    int configuredDialect_ = 3;
    int dialect_ = 3;
    isc_db_handle handle_ = 0;
};

}  // namespace binding
