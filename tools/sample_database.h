#pragma once

// The shop's stock tables (PRODUTO, TAM_PROD, COR_PROD, MOV_PROD) and a
// generator of realistic, reproducible sample databases for tests and benchmarks.

#include <optional>
#include <string>

#include "tools/sql_session.h"

namespace fbtools {

// Creates the four tables without keys or indexes and commits.
// Works in dialect 3 and dialect 1 databases (dialect 1 has no TIME type, so
// MOV_PROD.HORA is declared DATE there, which dialect 1 stores as a timestamp).
void createTables(SqlSession& session);
// Adds the primary keys (indexes RDB$PRIMARY176/226/61/147) and the secondary
// indexes and commits. Kept apart so bulk loads can build indexes afterwards.
void createIndexes(SqlSession& session);
// createTables followed by createIndexes.
void createSchema(SqlSession& session);

struct SampleOptions {
    int products = 300;  // PRODUTO rows in total, over all branches
    int branches = 2;
    int sizes = 4;    // TAM_PROD rows per product
    int colours = 5;  // COR_PROD rows per size
    int movements = 6;
    unsigned seed = 1;
    int dialect = 3;
    bool forcedWrites = true;
    std::string charset = "WIN1252";  // the database's default character set
};

struct ProductKey {
    int code = 0;    // PRODUTO.CODIGO
    int branch = 0;  // FILIAL
};

// What the generator produced. The irregular cases are only planted when
// there are at least 50 products; each names the affected product.
struct SampleSummary {
    int products = 0;
    int productCodes = 0;  // distinct CODIGO values (1..productCodes)
    long long sizeRows = 0;
    long long colourRows = 0;
    long long movementRows = 0;
    std::optional<ProductKey> withoutSizes;        // no TAM_PROD and no COR_PROD rows
    std::optional<ProductKey> withNullSize;        // an extra TAM_PROD row, TAMANHO null
    std::optional<ProductKey> sizeWithoutColours;  // its last TAM_PROD size has no COR_PROD
    std::optional<ProductKey> strayColourSize;     // COR_PROD rows for a size it doesn't have
    std::optional<int> strayColourTamanho;         // ... namely this TAMANHO
    std::optional<ProductKey> orphanMovements;     // MOV_PROD rows, no PRODUTO with this code
};

// Creates a new database file at `path` (it must not exist) with the schema
// and deterministic data derived from `options.seed`. PRODUTO.SALDO and
// ESTOQUEFISICO are deliberately stale: they do not match the COR_PROD totals.
SampleSummary createSampleDatabase(const std::string& path, const SampleOptions& options = {});

}  // namespace fbtools
