// A data source: the link through which a detail table follows its master table.
#pragma once

#include <string>

namespace binding {

class Table;

class DataSource {
  public:
    DataSource(std::string componentName, Table* dataSet)
        : componentName_(std::move(componentName)), dataSet_(dataSet) {}
    const std::string& componentName() const { return componentName_; }
    Table* dataSet() const { return dataSet_; }

  private:
    const std::string componentName_;
    Table* const dataSet_;
};

}  // namespace binding
