#include "bench/contenders.h"

#include <ibase.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "binding/client_api.h"
#include "binding/components.h"
#include "rebuild/stock_rebuild.h"
#include "tools/sample_database.h"
#include "tools/sql_session.h"

namespace bench {
namespace {

std::string componentDescription() {
    std::ifstream file(ATUALIZA_SOURCE_DIR "/app/Unit1.components");
    if (!file) throw std::runtime_error("app/Unit1.components not found");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void passIn(const std::string& folder, std::shared_ptr<const binding::ClientApi> api) {
    // The program opens the file in its working directory; so does the pass here.
    if (chdir(folder.c_str()) != 0) throw std::runtime_error("cannot enter " + folder);
    auto components = binding::Components::create(componentDescription(), std::move(api));
    {
        rebuild::StockRebuild pass(*components);
        rebuild::Surroundings surroundings = rebuild::Surroundings::fromSystem();
        surroundings.showMessage = [](const std::string&) {};
        pass.run(surroundings);
    }
    // Closing the window ends the transaction and detaches; that belongs to the run.
    components.reset();
}

// ---- The counted client library --------------------------------------------------------

using Clock = std::chrono::steady_clock;

struct Tally {
    const char* name = "";
    long long calls = 0;
    long long nanoseconds = 0;
};

enum Entry {
    kAttach,
    kDetach,
    kDatabaseInfo,
    kStart,
    kCommitRetaining,
    kCommit,
    kRollback,
    kAllocate,
    kPrepare,
    kDescribe,
    kDescribeBind,
    kExecute,
    kExecute2,
    kFetch,
    kFree,
    kInterpret,
    kEntries
};

struct StatementTally {
    long long prepares = 0, executes = 0, fetches = 0;
};

std::shared_ptr<const binding::ClientApi> realApi;
Tally tallies[kEntries];
std::map<isc_stmt_handle, std::string> statementLabels;
std::map<std::string, StatementTally> statementTallies;

// "SELECT TAM_PROD", "INSERT MOV_PROD", ...: the verb and the first table the text names.
std::string labelOf(const char* sql) {
    std::string text(sql);
    std::string verb = text.substr(0, text.find(' '));
    std::size_t at = std::string::npos;
    for (const char* before : {" FROM ", "INTO ", "UPDATE "}) {
        at = text.find(before);
        if (at != std::string::npos) {
            at += std::char_traits<char>::length(before);
            break;
        }
    }
    std::string table;
    if (at != std::string::npos) {
        for (std::size_t i = at; i < text.size() && text[i] != ' ' && text[i] != '('; ++i)
            if (text[i] != '"') table += text[i];
    }
    return verb + " " + table;
}

template <int Index, auto Member, typename R, typename... A>
R counted(A... args) {
    const auto start = Clock::now();
    R result = ((*realApi).*Member)(args...);
    tallies[Index].nanoseconds +=
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    ++tallies[Index].calls;
    // Per statement: which text each handle was prepared with, and what was done with it.
    if constexpr (Index == kPrepare) {
        const auto arguments = std::tie(args...);
        const std::string label = labelOf(std::get<4>(arguments));
        statementLabels[*std::get<2>(arguments)] = label;
        ++statementTallies[label].prepares;
    } else if constexpr (Index == kExecute || Index == kExecute2) {
        const auto arguments = std::tie(args...);
        ++statementTallies[statementLabels[*std::get<2>(arguments)]].executes;
    } else if constexpr (Index == kFetch) {
        const auto arguments = std::tie(args...);
        ++statementTallies[statementLabels[*std::get<1>(arguments)]].fetches;
    }
    return result;
}

template <int Index, auto Member, typename R, typename... A>
auto wrapperFor(R (*)(A...)) {
    return &counted<Index, Member, R, A...>;
}

#define COUNT_ENTRY(index, member) \
    tallies[index].name = #member; \
    api->member = wrapperFor<index, &binding::ClientApi::member>(realApi->member);

std::shared_ptr<const binding::ClientApi> countedApi() {
    realApi = binding::loadClientLibrary(binding::defaultClientLibraryName());
    auto api = std::make_shared<binding::ClientApi>(*realApi);
    COUNT_ENTRY(kAttach, attach_database)
    COUNT_ENTRY(kDetach, detach_database)
    COUNT_ENTRY(kDatabaseInfo, database_info)
    COUNT_ENTRY(kStart, start_multiple)
    COUNT_ENTRY(kCommitRetaining, commit_retaining)
    COUNT_ENTRY(kCommit, commit_transaction)
    COUNT_ENTRY(kRollback, rollback_transaction)
    COUNT_ENTRY(kAllocate, dsql_allocate_statement)
    COUNT_ENTRY(kPrepare, dsql_prepare)
    COUNT_ENTRY(kDescribe, dsql_describe)
    COUNT_ENTRY(kDescribeBind, dsql_describe_bind)
    COUNT_ENTRY(kExecute, dsql_execute)
    COUNT_ENTRY(kExecute2, dsql_execute2)
    COUNT_ENTRY(kFetch, dsql_fetch)
    COUNT_ENTRY(kFree, dsql_free_statement)
    COUNT_ENTRY(kInterpret, interpret)
    return api;
}

#undef COUNT_ENTRY

// ---- The client C API, directly --------------------------------------------------------

void check(const ISC_STATUS* status) {
    if (status[0] != 1 || status[1] == 0) return;
    std::string message;
    const ISC_STATUS* vector = status;
    char line[1024];
    while (fb_interpret(line, sizeof line, &vector) > 0) message += std::string(line) + "\n";
    throw std::runtime_error(message.empty() ? "Firebird error" : message);
}

// An XSQLDA whose variables point at the caller's own storage, so that executing costs
// no conversion or copying on this side.
class Sqlda {
  public:
    explicit Sqlda(int count) : storage_(XSQLDA_LENGTH(count), 0) {
        get()->version = SQLDA_VERSION1;
        get()->sqln = get()->sqld = static_cast<ISC_SHORT>(count);
    }
    XSQLDA* get() { return reinterpret_cast<XSQLDA*>(storage_.data()); }
    Sqlda& bind(int i, short type, short length, short scale, void* data, short* null) {
        XSQLVAR& var = get()->sqlvar[i];
        var.sqltype = static_cast<short>(type | (null != nullptr ? 1 : 0));
        var.sqllen = length;
        var.sqlscale = scale;
        var.sqldata = static_cast<char*>(data);
        var.sqlind = null;
        return *this;
    }

  private:
    std::vector<char> storage_;
};

class Prepared {
  public:
    Prepared(isc_db_handle* db, isc_tr_handle* tr, const char* sql) : tr_(tr) {
        ISC_STATUS_ARRAY status;
        isc_dsql_allocate_statement(status, db, &handle_);
        check(status);
        isc_dsql_prepare(status, tr, &handle_, 0, sql, SQL_DIALECT_V6, nullptr);
        check(status);
    }
    ~Prepared() {
        ISC_STATUS_ARRAY status;
        isc_dsql_free_statement(status, &handle_, DSQL_drop);
    }
    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;

    void execute(Sqlda* in) {
        ISC_STATUS_ARRAY status;
        isc_dsql_execute(status, tr_, &handle_, SQLDA_VERSION1, in ? in->get() : nullptr);
        check(status);
    }
    // A singleton select: executes and hands back its one row in a single call.
    void executeInto(Sqlda& in, Sqlda& out) {
        ISC_STATUS_ARRAY status;
        isc_dsql_execute2(status, tr_, &handle_, SQLDA_VERSION1, in.get(), out.get());
        check(status);
    }
    bool fetch(Sqlda& out) {
        ISC_STATUS_ARRAY status;
        const ISC_STATUS result = isc_dsql_fetch(status, &handle_, SQLDA_VERSION1, out.get());
        if (result == 100) return false;
        check(status);
        return true;
    }

  private:
    isc_tr_handle* tr_;
    isc_stmt_handle handle_ = 0;
};

}  // namespace

void runPass(const std::string& folder) { passIn(folder, nullptr); }

void profilePass(const std::string& folder) {
    auto api = countedApi();
    const auto start = Clock::now();
    passIn(folder, api);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    long long products = 0;
    for (const auto& [label, tally] : statementTallies)
        if (label == "UPDATE PRODUTO") products = tally.executes;
    const double per = products > 0 ? static_cast<double>(products) : 1.0;
    double inLibrary = 0;
    std::printf("client calls of the pass over %lld products (%.3f s with counting)\n", products,
                seconds);
    std::printf("  %-26s %10s %10s %12s\n", "entry", "calls", "/product", "seconds");
    for (const Tally& tally : tallies) {
        if (tally.calls == 0) continue;
        inLibrary += static_cast<double>(tally.nanoseconds) / 1e9;
        std::printf("  %-26s %10lld %10.2f %12.3f\n", tally.name, tally.calls,
                    static_cast<double>(tally.calls) / per,
                    static_cast<double>(tally.nanoseconds) / 1e9);
    }
    std::printf("  inside the client library: %.3f s (%.1f%%), our own code: %.3f s\n", inLibrary,
                100.0 * inLibrary / seconds, seconds - inLibrary);
    std::printf("  %-26s %10s %10s %10s %10s\n", "statement", "prepares", "exec/prod", "fetch/prod",
                "fetches");
    for (const auto& [label, tally] : statementTallies)
        std::printf("  %-26s %10lld %10.2f %10.2f %10lld\n", label.c_str(), tally.prepares,
                    static_cast<double>(tally.executes) / per,
                    static_cast<double>(tally.fetches) / per, tally.fetches);
}

void runPerProductFloor(const std::string& database) {
    ISC_STATUS_ARRAY status;
    isc_db_handle db = 0;
    const char dpb[] = {isc_dpb_version1,
                        isc_dpb_user_name,
                        6,
                        'S',
                        'Y',
                        'S',
                        'D',
                        'B',
                        'A',
                        isc_dpb_password,
                        9,
                        'p',
                        'i',
                        'n',
                        'e',
                        'c',
                        'r',
                        'e',
                        's',
                        't'};
    isc_attach_database(status, 0, database.c_str(), &db, sizeof dpb, dpb);
    check(status);
    isc_tr_handle tr = 0;
    isc_start_transaction(status, &tr, 1, &db, 0, nullptr);
    check(status);
    {
        Prepared products(&db, &tr,
                          "SELECT CODIGO, FILIAL, RDB$DB_KEY FROM PRODUTO ORDER BY CODIGO, FILIAL");
        Prepared sums(&db, &tr,
                      "SELECT SUM(C.SALDO), SUM(C.ESTOQUEFISICO) FROM TAM_PROD T "
                      "JOIN COR_PROD C ON C.PRODUTO = T.PRODUTO AND C.FILIAL = T.FILIAL "
                      "AND C.TAMANHO = T.TAMANHO WHERE T.PRODUTO = ? AND T.FILIAL = ?");
        Prepared removal(&db, &tr, "DELETE FROM MOV_PROD WHERE FILIAL = ? AND PRODUTO = ?");
        const char* insert =
            "INSERT INTO MOV_PROD (CODIGO, FILIAL, PRODUTO, MARCA, TAMANHO, COR, DATA, HORA, "
            "ENTRADASAIDA, QUANTIDADE, SITUACAO) VALUES (%d, ?, ?, 0, 0, 0, ?, ?, '1', ?, '%s')";
        char sql[512];
        std::snprintf(sql, sizeof sql, insert, 1, "1");
        Prepared balanceMovement(&db, &tr, sql);
        std::snprintf(sql, sizeof sql, insert, 2, "0");
        Prepared physicalMovement(&db, &tr, sql);
        Prepared update(&db, &tr,
                        "UPDATE PRODUTO SET SALDO = ?, ESTOQUEFISICO = ? WHERE RDB$DB_KEY = ?");

        ISC_LONG code = 0, branch = 0;
        char key[8];
        ISC_INT64 balance = 0, physical = 0;
        short balanceNull = 0, physicalNull = 0;
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        ISC_DATE date;
        ISC_TIME time;
        isc_encode_sql_date(&local, &date);
        isc_encode_sql_time(&local, &time);

        Sqlda product(3);
        product.bind(0, SQL_LONG, 4, 0, &code, nullptr)
            .bind(1, SQL_LONG, 4, 0, &branch, nullptr)
            .bind(2, SQL_TEXT, 8, 0, key, nullptr);
        Sqlda productKey(2);
        productKey.bind(0, SQL_LONG, 4, 0, &code, nullptr)
            .bind(1, SQL_LONG, 4, 0, &branch, nullptr);
        Sqlda movementKey(2);
        movementKey.bind(0, SQL_LONG, 4, 0, &branch, nullptr)
            .bind(1, SQL_LONG, 4, 0, &code, nullptr);
        Sqlda totals(2);
        totals.bind(0, SQL_INT64, 8, -3, &balance, &balanceNull)
            .bind(1, SQL_INT64, 8, -3, &physical, &physicalNull);
        Sqlda balanceRow(5), physicalRow(5);
        for (auto [row, quantity] : {std::pair{&balanceRow, &balance}, {&physicalRow, &physical}})
            row->bind(0, SQL_LONG, 4, 0, &branch, nullptr)
                .bind(1, SQL_LONG, 4, 0, &code, nullptr)
                .bind(2, SQL_TYPE_DATE, 4, 0, &date, nullptr)
                .bind(3, SQL_TYPE_TIME, 4, 0, &time, nullptr)
                .bind(4, SQL_INT64, 8, -3, quantity, nullptr);
        Sqlda newTotals(3);
        newTotals.bind(0, SQL_INT64, 8, -3, &balance, nullptr)
            .bind(1, SQL_INT64, 8, -3, &physical, nullptr)
            .bind(2, SQL_TEXT, 8, 0, key, nullptr);

        products.execute(nullptr);
        while (products.fetch(product)) {
            sums.executeInto(productKey, totals);
            if (balanceNull < 0) balance = 0;
            if (physicalNull < 0) physical = 0;
            removal.execute(&movementKey);
            if (balance != 0) balanceMovement.execute(&balanceRow);
            if (physical != 0) physicalMovement.execute(&physicalRow);
            update.execute(&newTotals);
            isc_commit_retaining(status, &tr);
            check(status);
        }
    }
    isc_commit_transaction(status, &tr);
    check(status);
    isc_detach_database(status, &db);
    check(status);
}

void runSetBasedFloor(const std::string& database) {
    auto session = fbtools::SqlSession::attach(database);
    const std::string total =
        "COALESCE((SELECT SUM(C.%s) FROM TAM_PROD T JOIN COR_PROD C ON C.PRODUTO = T.PRODUTO "
        "AND C.FILIAL = T.FILIAL AND C.TAMANHO = T.TAMANHO "
        "WHERE T.PRODUTO = P.CODIGO AND T.FILIAL = P.FILIAL), 0)";
    char saldo[512], fisico[512];
    std::snprintf(saldo, sizeof saldo, total.c_str(), "SALDO");
    std::snprintf(fisico, sizeof fisico, total.c_str(), "ESTOQUEFISICO");
    session.execute(std::string("UPDATE PRODUTO P SET SALDO = ") + saldo +
                    ", ESTOQUEFISICO = " + fisico);
    session.execute(
        "DELETE FROM MOV_PROD M WHERE EXISTS (SELECT 1 FROM PRODUTO P "
        "WHERE P.CODIGO = M.PRODUTO AND P.FILIAL = M.FILIAL)");
    const char* insert =
        "INSERT INTO MOV_PROD (CODIGO, FILIAL, PRODUTO, MARCA, TAMANHO, COR, DATA, HORA, "
        "ENTRADASAIDA, QUANTIDADE, SITUACAO) SELECT %d, FILIAL, CODIGO, 0, 0, 0, CURRENT_DATE, "
        "CURRENT_TIME, '1', %s, '%s' FROM PRODUTO WHERE %s <> 0";
    char sql[512];
    std::snprintf(sql, sizeof sql, insert, 1, "SALDO", "1", "SALDO");
    session.execute(sql);
    std::snprintf(sql, sizeof sql, insert, 2, "ESTOQUEFISICO", "0", "ESTOQUEFISICO");
    session.execute(sql);
    session.commit();
}

void writeState(const std::string& database, const std::string& output) {
    auto session = fbtools::SqlSession::attach(database);
    std::ofstream out(output);
    auto dump = [&](const char* sql) {
        for (const auto& row : session.query(sql)) {
            std::string line;
            for (const auto& value : row) line += (value ? *value : "<null>") + "|";
            out << line << '\n';
        }
    };
    dump("SELECT 'P', CODIGO, FILIAL, SALDO, ESTOQUEFISICO FROM PRODUTO ORDER BY CODIGO, FILIAL");
    // A summary movement without a date or time would be a fault too, so their presence
    // is kept even though their values differ from run to run.
    dump(
        "SELECT 'M', FILIAL, PRODUTO, CODIGO, MARCA, TAMANHO, COR, ENTRADASAIDA, QUANTIDADE, "
        "SITUACAO, OBSERVACAO, DATA IS NULL, HORA IS NULL FROM MOV_PROD "
        "ORDER BY FILIAL, PRODUTO, CODIGO, MARCA, TAMANHO, COR");
    session.commit();
    if (!out) throw std::runtime_error("cannot write " + output);
}

void makeSample(const std::string& database, int products, unsigned seed) {
    fbtools::SampleOptions options;
    options.products = products;
    options.branches = 2;
    options.sizes = 4;
    options.colours = 5;
    options.movements = 6;
    options.seed = seed;
    options.dialect = 3;
    options.forcedWrites = false;
    fbtools::createSampleDatabase(database, options);
}

void makeEmpty(const std::string& database) {
    auto session = fbtools::SqlSession::create(database);
    fbtools::createSchema(session);
    session.commit();
}

void setForcedWrites(const std::string& database, bool on) {
    fbtools::SqlSession::setForcedWrites(database, on);
}

}  // namespace bench
