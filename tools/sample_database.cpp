#include "tools/sample_database.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace fbtools {

namespace {

const char* const kProdutoTable = R"(CREATE TABLE PRODUTO (
    CODIGO INTEGER NOT NULL,
    FILIAL INTEGER NOT NULL,
    REFERENCIA VARCHAR(20),
    CODIGOBARRA VARCHAR(13),
    NOME VARCHAR(80),
    COMPLEMENTO VARCHAR(80),
    TIPO VARCHAR(13),
    ESTOQUEMINIMO INTEGER,
    ESTOQUEMAXIMO INTEGER,
    EMBALAGEM INTEGER,
    ULTIMAVENDA DATE,
    ULTIMACOMPRA DATE,
    ESTOQUEFISICO NUMERIC(18,3),
    SALDO NUMERIC(18,3),
    SITUACAO VARCHAR(1),
    PESOLIQUIDO NUMERIC(18,4),
    PESOBRUTO NUMERIC(18,4),
    CLASSIFICACAOFISCAL INTEGER,
    SITUACAOTRIBUTARIA VARCHAR(3),
    IPI NUMERIC(18,4),
    ICMS NUMERIC(18,4),
    ICMSSUBSTRIBUTARIA NUMERIC(18,4),
    REDUCAOICMS NUMERIC(18,4),
    PRECOVENDA NUMERIC(18,4),
    PRECOATACADO NUMERIC(18,4),
    PRECOCOMPRA NUMERIC(18,4),
    PERCENTUALLUCRO NUMERIC(18,4),
    PERCENTUALCOMISSAO NUMERIC(18,4),
    VALORCOMISSAO NUMERIC(18,4),
    CUSTOMEDIO NUMERIC(18,4),
    LINHA INTEGER,
    SUBGRUPO INTEGER,
    GRUPO INTEGER,
    MODELO VARCHAR(5),
    VOLUME INTEGER,
    LOTEECONOMICO INTEGER,
    FOTO VARCHAR(80),
    FOTOAMPLIADA VARCHAR(1),
    ENDERECO INTEGER,
    BASESUBSTITUICAO NUMERIC(18,4),
    TIPOPRODUTO INTEGER,
    PRECOTABELA NUMERIC(18,4),
    DATAULTIMOPRECOVENDA DATE,
    REFERENCIAFORNECEDOR VARCHAR(20),
    CPVOUTROS NUMERIC(18,4),
    CPVADMINISTRACAO NUMERIC(18,4),
    CPVFEDERAL NUMERIC(18,4),
    CPVICMS NUMERIC(18,4),
    PRECOPROMOCIONAL NUMERIC(18,4)
))";
constexpr int kProdutoColumns = 49;

const char* const kTamProdTable = R"(CREATE TABLE TAM_PROD (
    PRODUTO INTEGER NOT NULL,
    FILIAL INTEGER NOT NULL,
    CODIGO INTEGER NOT NULL,
    TAMANHO INTEGER,
    PRECO NUMERIC(18,4),
    PRECOCOMPRA NUMERIC(18,4)
))";

const char* const kCorProdTable = R"(CREATE TABLE COR_PROD (
    PRODUTO INTEGER NOT NULL,
    FILIAL INTEGER NOT NULL,
    TAMANHO INTEGER NOT NULL,
    COR INTEGER NOT NULL,
    SALDO NUMERIC(18,3),
    ESTOQUEFISICO NUMERIC(18,3),
    CODIGOBARRA VARCHAR(13)
))";

// HORA_TYPE is replaced per dialect: dialect 1 knows no TIME.
const char* const kMovProdTable = R"(CREATE TABLE MOV_PROD (
    CODIGO INTEGER NOT NULL,
    FILIAL INTEGER NOT NULL,
    PRODUTO INTEGER NOT NULL,
    MARCA INTEGER NOT NULL,
    TAMANHO INTEGER NOT NULL,
    COR INTEGER NOT NULL,
    DATA DATE,
    HORA HORA_TYPE,
    ENTRADASAIDA VARCHAR(1),
    QUANTIDADE NUMERIC(18,3),
    SITUACAO VARCHAR(1),
    OBSERVACAO VARCHAR(80)
))";

// Index names are unquoted: in dialect 1 double quotes delimit strings.
const char* const kIndexes[] = {
    "ALTER TABLE PRODUTO ADD CONSTRAINT PK_PRODUTO PRIMARY KEY (CODIGO, FILIAL)"
    " USING INDEX RDB$PRIMARY176",
    "ALTER TABLE TAM_PROD ADD CONSTRAINT PK_TAM_PROD PRIMARY KEY (PRODUTO, FILIAL, CODIGO)"
    " USING INDEX RDB$PRIMARY226",
    "ALTER TABLE COR_PROD ADD CONSTRAINT PK_COR_PROD PRIMARY KEY (PRODUTO, FILIAL, TAMANHO, COR)"
    " USING INDEX RDB$PRIMARY61",
    "ALTER TABLE MOV_PROD ADD CONSTRAINT PK_MOV_PROD"
    " PRIMARY KEY (CODIGO, FILIAL, PRODUTO, MARCA, TAMANHO, COR) USING INDEX RDB$PRIMARY147",
    "CREATE INDEX PRODUTOPORCLASSIFICACAO ON PRODUTO (CLASSIFICACAOFISCAL, FILIAL)",
    "CREATE INDEX PRODUTOPORCODIGOBARRA ON PRODUTO (CODIGOBARRA, FILIAL)",
    "CREATE INDEX PRODUTOPOREMBALAGEM ON PRODUTO (EMBALAGEM, FILIAL)",
    "CREATE INDEX PRODUTOPORLINHA ON PRODUTO (LINHA, FILIAL, SUBGRUPO)",
    "CREATE INDEX PRODUTOPORNOME ON PRODUTO (NOME, FILIAL)",
    "CREATE INDEX PRODUTOPORREFERENCIA ON PRODUTO (REFERENCIA, FILIAL)",
    "CREATE INDEX PRODUTOPORSUBGRUPO ON PRODUTO (SUBGRUPO, FILIAL)",
    "CREATE INDEX TAM_PRODPORTAMANHO ON TAM_PROD (TAMANHO, FILIAL)",
    "CREATE INDEX COR_PRODPORCOR ON COR_PROD (COR, FILIAL)",
    "CREATE INDEX MOV_PRODPORPRODUTO ON MOV_PROD (PRODUTO, FILIAL)",
};

// std::mt19937's output sequence is fixed by the standard, unlike the
// standard distributions, so the data is the same with every library.
class Random {
  public:
    explicit Random(unsigned seed) : engine_(seed) {}
    int between(int low, int high) {
        const auto span = static_cast<std::uint32_t>(high - low) + 1u;
        return low + static_cast<int>(engine_() % span);
    }
    bool chance(int percent) { return between(1, 100) <= percent; }
    template <typename T, std::size_t N>
    const T& pick(const std::array<T, N>& items) {
        return items[static_cast<std::size_t>(between(0, static_cast<int>(N) - 1))];
    }
    // `count` distinct values out of 1..range, ascending.
    std::vector<int> distinct(int count, int range) {
        std::vector<int> values(static_cast<std::size_t>(range));
        std::iota(values.begin(), values.end(), 1);
        for (int i = 0; i < count; ++i) {
            std::swap(values[static_cast<std::size_t>(i)],
                      values[static_cast<std::size_t>(between(i, range - 1))]);
        }
        values.resize(static_cast<std::size_t>(count));
        std::sort(values.begin(), values.end());
        return values;
    }

  private:
    std::mt19937 engine_;
};

// A fixed-point literal from an integer count of 10^-decimals units.
std::string fixed(std::int64_t units, int decimals) {
    const bool negative = units < 0;
    std::string digits = std::to_string(negative ? -units : units);
    const auto width = static_cast<std::size_t>(decimals);
    if (digits.size() <= width) digits.insert(0, width + 1 - digits.size(), '0');
    digits.insert(digits.size() - width, 1, '.');
    return negative ? "-" + digits : digits;
}

// Days since 1970-01-01 to "YYYY-MM-DD" (proleptic Gregorian calendar).
std::string isoDate(int days) {
    int z = days + 719468;
    const int era = (z >= 0 ? z : z - 146096) / 146097;
    const int doe = z - era * 146097;
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    const int day = doy - (153 * mp + 2) / 5 + 1;
    const int month = mp < 10 ? mp + 3 : mp - 9;
    const int year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year % 10000, (month % 100 + 100) % 100, (day % 100 + 100) % 100);
    return buffer;
}

// A fixed "today" keeps the data reproducible: 2024-06-28.
constexpr int kToday = 19902;

std::string clockTime(int seconds) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return buffer;
}

// EAN-13 with the Brazilian 789 prefix.
std::string barcode(int code, int variant) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "789%02d%07d", variant % 100, code % 10000000);
    int sum = 0;
    for (int i = 0; i < 12; ++i) sum += (digits[i] - '0') * (i % 2 == 0 ? 1 : 3);
    digits[12] = static_cast<char>('0' + (10 - sum % 10) % 10);
    digits[13] = '\0';
    return digits;
}

constexpr std::array<std::string_view, 16> kKinds = {
    "CAMISETA",    "CALÇA JEANS", "BERMUDA",  "BLUSA", "VESTIDO",      "SAIA",
    "JAQUETA",     "TÊNIS",       "SANDÁLIA", "BOTA",  "MEIA SOQUETE", "CUECA",
    "CAMISA POLO", "MOLETOM",     "REGATA",   "SHORT"};
constexpr std::array<std::string_view, 10> kStyles = {
    "MASCULINA", "FEMININA", "INFANTIL", "BÁSICA",  "ESTAMPADA",
    "LISTRADA",  "SLIM",     "CONFORTO", "ESPORTE", "GOLA V"};
constexpr std::array<std::string_view, 8> kBrands = {
    "ATLÂNTICA", "SERRA AZUL", "PÉ DE VENTO", "CORAÇÃO", "MARÉ ALTA", "IPÊ", "JANGADA", "SOL"};
constexpr std::array<std::string_view, 6> kMaterials = {
    "ALGODÃO 100%", "POLIÉSTER", "COURO SINTÉTICO", "MALHA PENTEADA", "LINHO", "VISCOSE"};
constexpr std::array<std::string_view, 5> kNotes = {
    "VENDA BALCÃO", "COMPRA NF", "AJUSTE DE INVENTÁRIO", "TRANSFERÊNCIA", "DEVOLUÇÃO"};

// One PRODUTO row's share of the generated data.
struct ProductRow {
    int code = 0;
    int branch = 0;
};

// Stock quantity in thousandths: mostly small positive whole units, some
// fractional, some zero, some negative; nullopt for a missing value.
std::optional<std::int64_t> stockQuantity(Random& random) {
    const int roll = random.between(1, 100);
    if (roll <= 3) return std::nullopt;
    if (roll <= 15) return 0;
    if (roll <= 23) return -std::int64_t{random.between(1, 5)} * 1000;
    if (roll <= 33) return std::int64_t{random.between(1, 9999)};
    return std::int64_t{random.between(1, 30)} * 1000;
}

Param optionalFixed(const std::optional<std::int64_t>& units, int decimals) {
    if (!units) return std::monostate{};
    return fixed(*units, decimals);
}

class Loader {
  public:
    Loader(SqlSession& session, const SampleOptions& options)
        : session_(session),
          options_(options),
          random_(options.seed),
          produto_(session.prepare(insertSql("PRODUTO", kProdutoColumns))),
          tamProd_(session.prepare(insertSql("TAM_PROD", 6))),
          corProd_(session.prepare(insertSql("COR_PROD", 7))),
          movProd_(session.prepare(insertSql("MOV_PROD", 12))) {}

    SampleSummary run() {
        SampleSummary summary;
        const std::vector<ProductRow> rows = planProducts();
        summary.products = static_cast<int>(rows.size());
        summary.productCodes = rows.empty() ? 0 : rows.back().code;

        const bool irregular = options_.products >= 50;
        const auto irregularAt = [&](std::size_t index) -> std::optional<ProductKey> {
            if (!irregular) return std::nullopt;
            return ProductKey{rows[index].code, rows[index].branch};
        };
        summary.withoutSizes = irregularAt(10);
        summary.withNullSize = irregularAt(20);
        summary.sizeWithoutColours = irregularAt(30);
        summary.strayColourSize = irregularAt(40);

        const int sizeRange = std::max(options_.sizes + 1, 12);
        const int colourRange = std::max(options_.colours, 30);
        for (std::size_t index = 0; index < rows.size(); ++index) {
            const ProductRow& row = rows[index];
            const std::vector<int> sizes = random_.distinct(options_.sizes, sizeRange);
            const std::vector<int> colours = random_.distinct(options_.colours, colourRange);
            const bool noSizes = irregular && index == 10;
            const bool nullSize = irregular && index == 20;
            const bool lastSizeBare = irregular && index == 30 && !sizes.empty();
            const bool straySize = irregular && index == 40;

            std::int64_t saldo = 0;
            std::int64_t fisico = 0;
            const std::int64_t price = random_.between(990, 39990) * 100;  // 4 decimals
            if (!noSizes) {
                for (std::size_t s = 0; s < sizes.size(); ++s) {
                    insertSize(row, static_cast<int>(s) + 1, sizes[s], price);
                    ++summary.sizeRows;
                    if (lastSizeBare && s + 1 == sizes.size()) continue;
                    for (int colour : colours) {
                        insertColour(row, sizes[s], colour, saldo, fisico);
                        ++summary.colourRows;
                    }
                }
                if (nullSize) {
                    insertSize(row, static_cast<int>(sizes.size()) + 1, std::nullopt, price);
                    ++summary.sizeRows;
                }
                if (straySize) {
                    // The first catalogue size the product doesn't carry.
                    int stray = 1;
                    while (std::binary_search(sizes.begin(), sizes.end(), stray)) ++stray;
                    summary.strayColourTamanho = stray;
                    for (int colour : colours) {
                        insertColour(row, stray, colour, saldo, fisico);
                        ++summary.colourRows;
                    }
                }
            }
            insertProduct(row, price, saldo, fisico);
            summary.movementRows += insertMovements(row, sizes, colours);
        }
        if (irregular) {
            const ProductRow orphan{summary.productCodes + 1, 1};
            summary.orphanMovements = ProductKey{orphan.code, orphan.branch};
            const std::vector<int> sizes = random_.distinct(options_.sizes, sizeRange);
            const std::vector<int> colours = random_.distinct(options_.colours, colourRange);
            summary.movementRows += insertMovements(orphan, sizes, colours);
        }
        session_.commit();
        return summary;
    }

  private:
    static std::string insertSql(std::string_view table, int columns) {
        std::string sql = "INSERT INTO " + std::string(table) + " VALUES (";
        for (int i = 0; i < columns; ++i) sql += i == 0 ? "?" : ", ?";
        return sql + ")";
    }

    // Codes 1, 2, ...; most products are stocked in every branch, the rest in one.
    std::vector<ProductRow> planProducts() {
        std::vector<ProductRow> rows;
        rows.reserve(static_cast<std::size_t>(std::max(options_.products, 0)));
        for (int code = 1; static_cast<int>(rows.size()) < options_.products; ++code) {
            if (options_.branches == 1 || random_.chance(75)) {
                for (int branch = 1; branch <= options_.branches; ++branch) {
                    if (static_cast<int>(rows.size()) == options_.products) break;
                    rows.push_back({code, branch});
                }
            } else {
                rows.push_back({code, random_.between(1, options_.branches)});
            }
        }
        return rows;
    }

    void rowDone() {
        if (++pending_ >= 5000) {
            session_.commit();
            pending_ = 0;
        }
    }

    void insertSize(const ProductRow& row, int code, std::optional<int> size, std::int64_t price) {
        const std::int64_t cost = price * random_.between(40, 70) / 100 / 100 * 100;
        tamProd_.execute({std::int64_t{row.code}, std::int64_t{row.branch}, std::int64_t{code},
                          size ? Param{std::int64_t{*size}} : Param{},
                          random_.chance(70) ? Param{} : Param{fixed(price, 4)},
                          random_.chance(70) ? Param{} : Param{fixed(cost, 4)}});
        rowDone();
    }

    void insertColour(const ProductRow& row, int size, int colour, std::int64_t& saldo,
                      std::int64_t& fisico) {
        const auto balance = stockQuantity(random_);
        std::optional<std::int64_t> counted = balance;
        if (counted && random_.chance(20)) *counted += random_.between(-2, 2) * 1000;
        if (random_.chance(3)) counted.reset();
        saldo += balance.value_or(0);
        fisico += counted.value_or(0);
        corProd_.execute(
            {std::int64_t{row.code}, std::int64_t{row.branch}, std::int64_t{size},
             std::int64_t{colour}, optionalFixed(balance, 3), optionalFixed(counted, 3),
             random_.chance(60) ? Param{} : Param{barcode(row.code, size * 3 + colour)}});
        rowDone();
    }

    // The stored totals are off from the real COR_PROD sums, as they are in a
    // shop whose totals drifted; a few are missing altogether.
    std::int64_t staleTotal(std::int64_t real) {
        std::int64_t drift = std::int64_t{random_.between(1, 40)} * 250;
        return random_.chance(50) ? real + drift : real - drift;
    }

    void insertProduct(const ProductRow& row, std::int64_t price, std::int64_t saldo,
                       std::int64_t fisico) {
        // Every branch sells the same article under a code: derive the
        // descriptive fields from the code alone.
        Random article(options_.seed * 7919u + static_cast<unsigned>(row.code));
        const int kind = article.between(0, static_cast<int>(kKinds.size()) - 1);
        const bool footwear = kKinds[static_cast<std::size_t>(kind)] == "TÊNIS" ||
                              kKinds[static_cast<std::size_t>(kind)] == "SANDÁLIA" ||
                              kKinds[static_cast<std::size_t>(kind)] == "BOTA";
        std::string name = std::string(kKinds[static_cast<std::size_t>(kind)]) + ' ' +
                           std::string(article.pick(kStyles)) + ' ' +
                           std::string(article.pick(kBrands));
        const int line = article.between(1, 12);
        const int subgroup = article.between(1, 40);
        const int group = article.between(1, 8);
        const int ncm =
            article.pick(std::array<int, 5>{61091000, 62034200, 64039990, 61044300, 61159500});
        char reference[24];
        std::snprintf(reference, sizeof reference, "%c%c-%06d", 'A' + line, 'A' + group - 1,
                      row.code);
        char supplierRef[24];
        std::snprintf(supplierRef, sizeof supplierRef, "F%03d/%05d", article.between(1, 250),
                      article.between(1, 99999));
        char model[8];
        std::snprintf(model, sizeof model, "M%03d", article.between(1, 999));
        char photo[40];
        std::snprintf(photo, sizeof photo, "FOTOS\\%07d.JPG", row.code);
        const bool hasPhoto = article.chance(40);
        const bool hasBarcode = article.chance(90);
        const int packing = article.pick(std::array<int, 4>{1, 1, 6, 12});
        const std::int64_t weight = article.between(80, 2500) * 10;  // 4 decimals, kg

        const std::int64_t cost = price * random_.between(40, 70) / 100 / 100 * 100;
        const std::int64_t markup = (price - cost) * 10000 / std::max<std::int64_t>(cost, 1);
        const std::int64_t wholesale = price * 9 / 10 / 100 * 100;
        const std::int64_t average = cost + random_.between(-500, 500);
        const int icms = article.pick(std::array<int, 4>{18, 18, 12, 7});
        const int commission = random_.between(0, 5);
        const bool active = random_.chance(92);
        const int lastSale = kToday - random_.between(0, 400);
        const int lastPurchase = kToday - random_.between(30, 900);
        const bool onSale = random_.chance(10);

        Params params{
            std::int64_t{row.code},
            std::int64_t{row.branch},
            std::string(reference),
            hasBarcode ? Param{barcode(row.code, 0)} : Param{},
            name,
            article.chance(70) ? Param{std::string(article.pick(kMaterials))} : Param{},
            std::string(footwear ? "CALÇADO" : "CONFECÇÃO"),
            std::int64_t{random_.between(0, 5)},
            std::int64_t{random_.between(20, 200)},
            std::int64_t{packing},
            random_.chance(90) ? Param{isoDate(lastSale)} : Param{},
            isoDate(lastPurchase),
            random_.chance(97) ? Param{fixed(staleTotal(fisico), 3)} : Param{},
            random_.chance(97) ? Param{fixed(staleTotal(saldo), 3)} : Param{},
            std::string(active ? "A" : "I"),
            fixed(weight, 4),
            fixed(weight + 500, 4),
            std::int64_t{ncm},
            std::string(icms == 18 ? "000" : "060"),
            fixed(0, 4),
            fixed(icms * 10000, 4),
            fixed(0, 4),
            fixed(0, 4),
            fixed(price, 4),
            fixed(wholesale, 4),
            fixed(cost, 4),
            fixed(markup, 4),
            fixed(commission * 10000, 4),
            fixed(price * commission / 100, 4),
            fixed(average, 4),
            std::int64_t{line},
            std::int64_t{subgroup},
            std::int64_t{group},
            std::string(model),
            std::int64_t{1},
            std::int64_t{packing * 10},
            hasPhoto ? Param{std::string(photo)} : Param{},
            std::string(hasPhoto ? "S" : "N"),
            std::int64_t{random_.between(1, 600)},
            fixed(0, 4),
            std::int64_t{footwear ? 1 : 0},
            fixed(price, 4),
            isoDate(kToday - random_.between(10, 700)),
            std::string(supplierRef),
            fixed(random_.between(0, 300) * 100, 4),
            fixed(random_.between(0, 500) * 100, 4),
            fixed(36500, 4),
            fixed(icms * 10000, 4),
            onSale ? Param{fixed(price * 8 / 10 / 100 * 100, 4)} : Param{},
        };
        produto_.execute(params);
        rowDone();
    }

    long long insertMovements(const ProductRow& row, const std::vector<int>& sizes,
                              const std::vector<int>& colours) {
        if (options_.movements <= 0) return 0;
        const bool dialect1 = session_.dialect() == 1;
        int day = kToday - random_.between(400, 1500);
        for (int code = 1; code <= options_.movements; ++code) {
            day += random_.between(0, 30);
            const int size = sizes.empty() ? 0
                                           : sizes[static_cast<std::size_t>(random_.between(
                                                 0, static_cast<int>(sizes.size()) - 1))];
            const int colour = colours.empty() ? 0
                                               : colours[static_cast<std::size_t>(random_.between(
                                                     0, static_cast<int>(colours.size()) - 1))];
            const bool incoming = random_.chance(30);
            const std::int64_t quantity = random_.chance(85)
                                              ? std::int64_t{random_.between(1, 12)} * 1000
                                              : std::int64_t{random_.between(1, 5000)};
            const std::string time = clockTime(random_.between(8 * 3600, 20 * 3600));
            const std::string_view note = kNotes[incoming ? 1 : random_.chance(80) ? 0 : 2];
            char observation[64];
            std::snprintf(observation, sizeof observation, "%.*s %d", static_cast<int>(note.size()),
                          note.data(), random_.between(1, 99999));
            movProd_.execute(
                {std::int64_t{code}, std::int64_t{row.branch}, std::int64_t{row.code},
                 std::int64_t{random_.between(1, 3)}, std::int64_t{size}, std::int64_t{colour},
                 isoDate(day), dialect1 ? isoDate(day) + ' ' + time : time,
                 std::string(incoming ? "1" : "0"), fixed(quantity, 3),
                 std::string(random_.chance(50) ? "1" : "0"), std::string(observation)});
            rowDone();
        }
        return options_.movements;
    }

    SqlSession& session_;
    const SampleOptions& options_;
    Random random_;
    SqlSession::Statement produto_;
    SqlSession::Statement tamProd_;
    SqlSession::Statement corProd_;
    SqlSession::Statement movProd_;
    int pending_ = 0;
};

}  // namespace

void createTables(SqlSession& session) {
    session.execute(kProdutoTable);
    session.execute(kTamProdTable);
    session.execute(kCorProdTable);
    std::string movProd = kMovProdTable;
    movProd.replace(movProd.find("HORA_TYPE"), 9, session.dialect() == 1 ? "DATE" : "TIME");
    session.execute(movProd);
    session.commit();
}

void createIndexes(SqlSession& session) {
    for (const char* sql : kIndexes) session.execute(sql);
    session.commit();
}

void createSchema(SqlSession& session) {
    createTables(session);
    createIndexes(session);
}

SampleSummary createSampleDatabase(const std::string& path, const SampleOptions& options) {
    if (options.products < 0 || options.branches < 1 || options.sizes < 0 || options.colours < 0 ||
        options.movements < 0) {
        throw std::invalid_argument("sample sizes must not be negative, branches at least 1");
    }
    {
        SqlSession session =
            SqlSession::create(path, "SYSDBA", "pinecrest", options.dialect, 8192, options.charset);
        createTables(session);
    }
    // Synchronous writes would make the load many times slower.
    SqlSession::setForcedWrites(path, false);
    SampleSummary summary;
    {
        SqlSession session = SqlSession::attach(path);
        summary = Loader(session, options).run();
        // Building the indexes over loaded tables beats maintaining them row by row.
        createIndexes(session);
    }
    SqlSession::setForcedWrites(path, options.forcedWrites);
    return summary;
}

}  // namespace fbtools
