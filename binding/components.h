// The binding's components as the main window owns them: the connection, the transaction,
// the tables with their field objects and the data sources, created from a declarative
// description and destroyed in reverse order of creation (tables first, then the
// transaction, which commits if still active, then the connection).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "binding/client_api.h"
#include "binding/data_source.h"
#include "binding/database.h"
#include "binding/field.h"
#include "binding/table.h"
#include "binding/transaction.h"

namespace binding {

class Components {
  public:
    // Builds every component the description declares, closed. Without `api` the client
    // library is loaded when the first connection is created. Throws Error with the
    // library's start-up text, or naming what is wrong with the description.
    static std::unique_ptr<Components> create(std::string_view description,
                                              std::shared_ptr<const ClientApi> api = nullptr);
    ~Components();
    Components(const Components&) = delete;
    Components& operator=(const Components&) = delete;

    Database& database(const std::string& name) const;
    Transaction& transaction(const std::string& name) const;
    Table& table(const std::string& name) const;
    DataSource& dataSource(const std::string& name) const;
    // A field object by its component name, such as "ProdutoSALDO".
    Field& field(const std::string& name) const;

  private:
    Components() = default;

    std::vector<std::unique_ptr<Database>> databases_;
    std::vector<std::unique_ptr<Transaction>> transactions_;
    std::vector<std::unique_ptr<Table>> tables_;
    std::vector<std::unique_ptr<DataSource>> dataSources_;
};

}  // namespace binding
