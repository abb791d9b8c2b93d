// The rebuild over many small random databases, against a set-based query over the same
// rows: every product ends with the totals of its size-and-colour rows and just its
// summary movements, and every row that belongs to no product is as it was. The
// databases mix what real shops have: several branches, sizes listed twice or without a
// size, colours of sizes the product lacks, nulls, negative values, large quantities, and
// movements of other branches and of codes that have no product. A failing database is
// shrunk row by row and printed as the INSERT statements that still fail.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <iostream>
#include <random>
#include <set>
#include <sstream>

#include "support/scratch.h"

namespace {

using fbtools::SqlSession;
using support::Program;

// std::mt19937_64's sequence is fixed by the standard, unlike the standard distributions,
// so a seed gives the same database everywhere.
class Random {
  public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}
    std::int64_t between(std::int64_t low, std::int64_t high) {
        const auto span = static_cast<std::uint64_t>(high - low) + 1u;
        return low + static_cast<std::int64_t>(engine_() % span);
    }
    bool chance(int percent) { return between(1, 100) <= percent; }

  private:
    std::mt19937_64 engine_;
};

// A NUMERIC(18,3) literal from thousandths.
std::string thousandths(std::int64_t units) {
    const bool negative = units < 0;
    std::string digits = std::to_string(negative ? -units : units);
    if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
    digits.insert(digits.size() - 3, 1, '.');
    return negative ? "-" + digits : digits;
}

struct Shape {
    int codes;       // product codes 1..codes
    int branches;    // FILIAL 1..branches
    int maxDigits;   // a value's whole part has up to this many digits
    int maxSizes;    // TAM_PROD rows per product
    int maxColours;  // COR_PROD rows per size value
};

// The largest number of COR_PROD rows one product can add up (six TAM_PROD rows of three
// colours each): it bounds each value so that every sum stays where the running total, a
// double, still tells thousandths apart (|sum| < 2^41, about 2.2e12). Above that the
// total's last decimal is the double's, not the exact sum's.
constexpr int kMostTerms = 6 * 3;

// One random database as INSERT statements, one row each, so a failing one can be shrunk
// row by row.
std::vector<std::string> randomDatabase(std::uint64_t seed, const Shape& shape) {
    Random random(seed);
    std::vector<std::string> rows;
    auto value = [&]() -> std::string {
        if (random.chance(15)) return "NULL";
        const int digits = static_cast<int>(random.between(0, shape.maxDigits));
        std::int64_t limit = 1;
        for (int i = 0; i < digits; ++i) limit *= 10;
        limit = std::min<std::int64_t>(limit * 1000, 2'000'000'000'000'000 / kMostTerms);
        std::int64_t units = random.between(-limit / 4, limit);  // mostly stock, some owed
        if (random.chance(20)) units -= units % 1000;            // whole numbers too
        return thousandths(units);
    };
    auto text = [&](const char* prefix) {
        return "'" + std::string(prefix) + std::to_string(random.between(1, 999)) + "'";
    };
    for (int code = 1; code <= shape.codes; ++code) {
        for (int branch = 1; branch <= shape.branches; ++branch) {
            const std::string key = std::to_string(code) + ", " + std::to_string(branch);
            // Sizes, colours and movements also exist for codes without a product row:
            // the rebuild must leave them alone.
            const bool product = random.chance(75);
            if (product)
                rows.push_back(
                    "INSERT INTO PRODUTO (CODIGO, FILIAL, NOME, SALDO, ESTOQUEFISICO, "
                    "PRECOVENDA, ULTIMAVENDA) VALUES (" +
                    key + ", " + text("ITEM ") + ", " + value() + ", " + value() + ", " + value() +
                    ", DATE '2024-03-" + std::to_string(random.between(10, 28)) + "')");
            const int sizes = static_cast<int>(random.between(0, shape.maxSizes));
            for (int size = 1; size <= sizes; ++size) {
                // A few size values, so some are listed twice; now and then none at all.
                const std::string tamanho =
                    random.chance(10) ? "NULL" : std::to_string(random.between(1, 4));
                rows.push_back(
                    "INSERT INTO TAM_PROD (PRODUTO, FILIAL, CODIGO, TAMANHO, PRECO) "
                    "VALUES (" +
                    key + ", " + std::to_string(size) + ", " + tamanho + ", " + value() + ")");
            }
            // Colours for size values 1..6: the product has some of them, not all.
            for (int tamanho = 1; tamanho <= 6; ++tamanho) {
                if (!random.chance(40)) continue;
                const int colours = static_cast<int>(random.between(1, shape.maxColours));
                for (int cor = 1; cor <= colours; ++cor)
                    rows.push_back("INSERT INTO COR_PROD VALUES (" + key + ", " +
                                   std::to_string(tamanho) + ", " + std::to_string(cor) + ", " +
                                   value() + ", " + value() + ", " + text("789") + ")");
            }
            std::set<std::string> movementKeys;
            const int movements = static_cast<int>(random.between(0, 3));
            for (int m = 0; m < movements; ++m) {
                // Codes 1 and 2 too: an old summary must be replaced like any movement.
                const std::string movementKey =
                    std::to_string(random.between(1, 9)) + ", " + std::to_string(branch) + ", " +
                    std::to_string(code) + ", " + std::to_string(random.between(0, 2)) + ", " +
                    std::to_string(random.between(0, 3)) + ", " +
                    std::to_string(random.between(0, 3));
                if (!movementKeys.insert(movementKey).second) continue;
                rows.push_back(
                    "INSERT INTO MOV_PROD (CODIGO, FILIAL, PRODUTO, MARCA, TAMANHO, COR, DATA, "
                    "HORA, ENTRADASAIDA, QUANTIDADE, SITUACAO, OBSERVACAO) VALUES (" +
                    movementKey + ", DATE '2024-05-" + std::to_string(random.between(10, 28)) +
                    "', TIME '08:15:00', '" + (random.chance(50) ? "0" : "1") + "', " + value() +
                    ", '" + std::to_string(random.between(0, 1)) + "', " +
                    (random.chance(50) ? "NULL" : text("NOTA ")) + ")");
            }
        }
    }
    return rows;
}

std::vector<std::string> rowsOfNoProduct(SqlSession& session) {
    std::vector<std::string> rows;
    for (const auto& row : session.query(
             "SELECT M.* FROM MOV_PROD M WHERE NOT EXISTS (SELECT 1 FROM PRODUTO P "
             "WHERE P.CODIGO = M.PRODUTO AND P.FILIAL = M.FILIAL) ORDER BY 1, 2, 3, 4, 5, 6")) {
        std::string text;
        for (const auto& field : row) text += field.value_or("<null>") + "|";
        rows.push_back(text);
    }
    session.commit();
    return rows;
}

// PRODUTO rows as text with SALDO and ESTOQUEFISICO (the 13th and 14th columns) left out.
std::vector<std::string> productRowsBesideSums(const support::Snapshot& snapshot) {
    std::vector<std::string> rows;
    for (const std::string& row : snapshot.at("PRODUTO")) {
        std::vector<std::string> fields;
        std::stringstream stream(row);
        for (std::string field; std::getline(stream, field, '|');) fields.push_back(field);
        fields.erase(fields.begin() + 12, fields.begin() + 14);
        std::string text;
        for (const auto& field : fields) text += field + "|";
        rows.push_back(text);
    }
    return rows;
}

std::string describe(const char* what, const std::vector<std::string>& lines) {
    std::string text = what;
    for (const auto& line : lines) text += "\n    " + line;
    return text + "\n";
}

// Builds the database in a folder of its own, presses "Ok" once and returns what is wrong
// afterwards; empty when the rebuild did its work and nothing else.
std::string faultsAfterRebuild(const std::vector<std::string>& rows) {
    support::ScratchFolder folder;
    auto session = support::createStockDatabase(folder);
    for (const auto& sql : rows) session.execute(sql);
    session.commit();
    const auto before = support::snapshot(session);
    const auto orphansBefore = rowsOfNoProduct(session);

    std::string faults;
    {
        Program program(folder.path().string());
        try {
            program.press();
        } catch (const std::exception& error) {
            return std::string("the run failed: ") + error.what() + "\n";
        }
        if (program.finishedMessages() != 1) faults += "no closing message\n";
    }
    const auto disagreements = support::disagreementsWithTotals(session);
    if (!disagreements.empty()) faults += describe("products against their totals:", disagreements);
    const auto after = support::snapshot(session);
    for (const char* table : {"TAM_PROD", "COR_PROD"})
        if (after.at(table) != before.at(table))
            faults += describe((std::string(table) + " changed, now:").c_str(), after.at(table));
    if (productRowsBesideSums(after) != productRowsBesideSums(before))
        faults += describe("PRODUTO columns besides the sums changed, now:",
                           productRowsBesideSums(after));
    const auto orphansAfter = rowsOfNoProduct(session);
    if (orphansAfter != orphansBefore)
        faults += describe("movements of no product changed, now:", orphansAfter);
    return faults;
}

// Drops rows one at a time while the database still fails, within a budget of attempts;
// what remains is the smallest failing database found.
std::vector<std::string> shrink(std::vector<std::string> rows) {
    int attempts = 0;
    constexpr int kMostAttempts = 300;
    for (bool dropped = true; dropped && attempts < kMostAttempts;) {
        dropped = false;
        for (std::size_t i = rows.size(); i-- > 0 && attempts < kMostAttempts;) {
            std::vector<std::string> fewer = rows;
            fewer.erase(fewer.begin() + static_cast<std::ptrdiff_t>(i));
            ++attempts;
            if (!faultsAfterRebuild(fewer).empty()) {
                rows = std::move(fewer);
                dropped = true;
            }
        }
    }
    return rows;
}

struct Batch {
    const char* name;
    Shape shape;
    std::uint64_t firstSeed;
    int databases;
};

// Everyday quantities, where most of the odd cases meet; quantities of up to a billion;
// and quantities up to the largest the running total holds to the thousandth.
const Batch kBatches[] = {
    {"EverydayQuantities", {5, 3, 4, 4, 3}, 1000, 30},
    {"QuantitiesUpToABillion", {4, 3, 9, 6, 3}, 3000, 15},
    {"QuantitiesUpToWhatTheTotalHolds", {4, 2, 11, 6, 3}, 2000, 12},
};

void PrintTo(const Batch& batch, std::ostream* out) { *out << batch.name; }

class RandomDatabaseTest : public ::testing::TestWithParam<Batch> {};

TEST_P(RandomDatabaseTest, EveryProductMatchesItsSetBasedTotalsAndOtherRowsStay) {
    const Batch& batch = GetParam();
    constexpr int kMostShrunk = 3;  // shrinking costs a database per attempt
    int checked = 0, failed = 0;
    long long rows = 0;
    for (int n = 0; n < batch.databases; ++n) {
        const std::uint64_t seed = batch.firstSeed + static_cast<std::uint64_t>(n);
        const auto database = randomDatabase(seed, batch.shape);
        rows += static_cast<long long>(database.size());
        ++checked;
        const std::string faults = faultsAfterRebuild(database);
        if (faults.empty()) continue;
        if (++failed > kMostShrunk) {
            ADD_FAILURE() << "seed " << seed << " (" << database.size() << " rows):\n" << faults;
            continue;
        }
        const auto smallest = shrink(database);
        ADD_FAILURE() << "seed " << seed << " (" << database.size() << " rows):\n"
                      << faults << "smallest failing database (" << smallest.size()
                      << " rows):" << describe("", smallest) << "which gives:\n"
                      << faultsAfterRebuild(smallest);
    }
    std::cout << checked << " random databases of " << rows << " rows checked, " << failed
              << " failed\n";
    RecordProperty("databases", checked);
    RecordProperty("rows", static_cast<int>(rows));
}

INSTANTIATE_TEST_SUITE_P(Batches, RandomDatabaseTest, ::testing::ValuesIn(kBatches),
                         [](const ::testing::TestParamInfo<Batch>& batch) {
                             return std::string(batch.param.name);
                         });

}  // namespace
