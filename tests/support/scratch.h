// What the database tests share: a scratch folder holding a Quorvale.GDB, the program's
// own components run without the window, and an independent set-based check of the
// rebuild's result.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "binding/components.h"
#include "rebuild/stock_rebuild.h"
#include "tools/sql_session.h"

namespace support {

// A folder of its own under the system's temporary folder, removed with everything in it.
// Readable and writable by every user, so a database server running as another user can
// open the files in it too.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string database() const { return (path_ / "Quorvale.GDB").string(); }

  private:
    std::filesystem::path path_;
};

// Creates Quorvale.GDB in the folder with the four stock tables, empty, and hands the file
// to every user (see ScratchFolder).
fbtools::SqlSession createStockDatabase(const ScratchFolder& folder, int dialect = 3);
void shareWithServer(const std::string& file);

// The main window's component description, as the program compiles it in.
std::string componentDescription();

// The binding components and the rebuild pass exactly as the "Ok" button runs them, in
// `folder`, with a fixed clock. Destroying it shuts the components down as closing the
// window does.
class Program {
  public:
    explicit Program(std::string folder, std::shared_ptr<const binding::ClientApi> api = nullptr);
    ~Program();

    // One press of "Ok"; throws what the error box would show.
    void press();
    // One press that must fail; returns the error's text.
    std::string pressExpectingError();
    // Closes the program: the components go as with the window.
    void close();

    int finishedMessages() const { return finished_; }
    rebuild::Surroundings& surroundings() { return surroundings_; }
    binding::Components& components() { return *components_; }

    static constexpr std::int32_t kDay = 46000;                               // 9 December 2025
    static constexpr std::int32_t kTime = 12 * 3600000 + 34 * 60000 + 56789;  // 12:34:56.789

  private:
    std::unique_ptr<binding::Components> components_;
    std::unique_ptr<rebuild::StockRebuild> rebuild_;
    rebuild::Surroundings surroundings_;
    int finished_ = 0;
};

// Every row of the four tables as text, keyed by table, for comparing whole databases.
using Snapshot = std::map<std::string, std::vector<std::string>>;
Snapshot snapshot(fbtools::SqlSession& session);

// The per-product state the rebuild is about: the two sums and the movement rows.
struct ProductState {
    std::string saldo, estoqueFisico;
    std::vector<std::string> movements;
    bool operator==(const ProductState&) const = default;
};
using ProductKey = std::pair<int, int>;  // CODIGO, FILIAL
std::map<ProductKey, ProductState> productStates(fbtools::SqlSession& session,
                                                 bool withMovementTimes = false);

// Products whose sums or movements do not match what a set-based query over TAM_PROD and
// COR_PROD says the rebuild must leave; empty when all agree. Dates and times of the
// summary movements are checked against `day` unless it is 0.
std::vector<std::string> disagreementsWithTotals(fbtools::SqlSession& session,
                                                 std::int32_t day = Program::kDay);

// True when a Firebird server answers on 127.0.0.1.
bool serverAvailable();

}  // namespace support
