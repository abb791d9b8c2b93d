// The independent database path must itself be right before tests lean on it:
// values come back as exact text, transactions end as asked, and the sample
// generator is reproducible and plants the irregular cases it reports.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tools/sample_database.h"
#include "tools/sql_session.h"

namespace {

using fbtools::Param;
using fbtools::SqlSession;

class Scratch {
  public:
    Scratch() {
        path_ = std::filesystem::temp_directory_path() /
                ("fbtools-test-" + std::to_string(::getpid()) + "-" + std::to_string(next_++));
        std::filesystem::create_directories(path_);
    }
    ~Scratch() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    static inline int next_ = 0;
    std::filesystem::path path_;
};

std::string single(SqlSession& session, const std::string& sql,
                   const fbtools::Params& params = {}) {
    const auto rows = session.query(sql, params);
    if (rows.size() != 1 || rows[0].size() != 1) return "<not one value>";
    return rows[0][0].value_or("<null>");
}

TEST(SqlSession, RendersValuesAsExactTextInBothDialects) {
    Scratch scratch;
    struct Case {
        int dialect;
        const char* expression;
        const char* expected;
    };
    const Case cases[] = {
        {3, "CAST(12.34 AS NUMERIC(18,3))", "12.340"},
        {3, "CAST(-0.005 AS NUMERIC(9,3))", "-0.005"},
        {3, "CAST(-9223372036854775808 AS BIGINT)", "-9223372036854775808"},
        {3, "CAST(-922337203685477.5808 AS NUMERIC(18,4))", "-922337203685477.5808"},
        {3, "CAST(7 AS SMALLINT)", "7"},
        {3, "CAST(0.1 AS DOUBLE PRECISION)", "0.1"},
        {3, "DATE '0001-01-01'", "0001-01-01"},
        {3, "DATE '2024-02-29'", "2024-02-29"},
        {3, "TIME '13:45:07'", "13:45:07"},
        {3, "TIME '00:00:00.0120'", "00:00:00.0120"},
        {3, "TIMESTAMP '2024-01-02 03:04:05'", "2024-01-02 03:04:05"},
        {3, "CAST('ação' AS VARCHAR(10))", "ação"},
        {3, "CAST('ab' AS CHAR(4))", "ab  "},
        {3, "CAST('çã' AS CHAR(3))", "çã "},
        {3, "CAST('texto longo' AS BLOB SUB_TYPE TEXT)", "texto longo"},
        {3, "1 = 1", "true"},
        {3, "CAST(NULL AS INTEGER)", "<null>"},
        // Dialect 1 keeps NUMERIC(18,3) as a double with a scale; DATE is a timestamp.
        {1, "CAST(12.34 AS NUMERIC(18,3))", "12.340"},
        {1, "CAST(-0.0001 AS NUMERIC(18,3))", "0.000"},
        {1, "CAST('2024-02-29' AS DATE)", "2024-02-29 00:00:00"},
    };
    SqlSession three = SqlSession::create(scratch.file("three.fdb"));
    SqlSession one = SqlSession::create(scratch.file("one.fdb"), "SYSDBA", "pinecrest", 1);
    EXPECT_EQ(three.dialect(), 3);
    EXPECT_EQ(one.dialect(), 1);
    for (const Case& c : cases) {
        SqlSession& session = c.dialect == 1 ? one : three;
        EXPECT_EQ(single(session, std::string("SELECT ") + c.expression + " FROM RDB$DATABASE"),
                  c.expected)
            << "dialect " << c.dialect << ": " << c.expression;
    }
}

TEST(SqlSession, ParametersReachTheDeclaredTypesExactly) {
    Scratch scratch;
    for (int dialect : {3, 1}) {
        SqlSession session = SqlSession::create(
            scratch.file("p" + std::to_string(dialect) + ".fdb"), "SYSDBA", "pinecrest", dialect);
        session.execute(
            "CREATE TABLE T (I INTEGER, N NUMERIC(18,3), D DATE, S VARCHAR(10), F DOUBLE "
            "PRECISION)");
        session.commit();
        auto insert = session.prepare("INSERT INTO T VALUES (?, ?, ?, ?, ?)");
        insert.execute({std::int64_t{-7}, std::string("-12.345"), std::string("2024-01-31"),
                        std::string("pão"), 2.5});
        insert.execute({Param{}, Param{}, Param{}, Param{}, Param{}});
        session.execute("INSERT INTO T (I, N) VALUES (?, ?)",
                        {std::int64_t{2147483647}, std::int64_t{3}});
        const auto rows = session.query("SELECT I, N, D, S, F FROM T ORDER BY I NULLS FIRST");
        ASSERT_EQ(rows.size(), 3u);
        const std::string date = dialect == 1 ? "2024-01-31 00:00:00" : "2024-01-31";
        EXPECT_EQ(rows[0], (fbtools::Row(5)));
        EXPECT_EQ(rows[1], (fbtools::Row{"-7", "-12.345", date, "pão", "2.5"}));
        EXPECT_EQ(rows[2][1], "3.000");
        EXPECT_EQ(single(session, "SELECT COUNT(*) FROM T WHERE S = ?", {std::string("pão")}), "1");
        EXPECT_THROW(insert.execute({std::int64_t{1}}), std::invalid_argument);
    }
}

TEST(SqlSession, TransactionsEndAsAskedAndErrorsCarryTheEngineMessage) {
    Scratch scratch;
    const std::string file = scratch.file("tx.fdb");
    {
        SqlSession session = SqlSession::create(file);
        session.execute("CREATE TABLE T (I INTEGER NOT NULL PRIMARY KEY)");
        session.commit();
        session.execute("INSERT INTO T VALUES (1)");
        session.commit();
        session.execute("INSERT INTO T VALUES (2)");
        session.rollback();
        EXPECT_FALSE(session.inTransaction());
        session.execute("INSERT INTO T VALUES (3)");
        try {
            session.execute("INSERT INTO T VALUES (1)");
            ADD_FAILURE() << "duplicate key accepted";
        } catch (const std::runtime_error& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("violation of PRIMARY or UNIQUE KEY"), std::string::npos)
                << message;
            EXPECT_NE(message.find('\n'), std::string::npos) << message;
        }
        EXPECT_THROW(session.query("SELEC 1 FROM RDB$DATABASE"), std::runtime_error);
        // Leaving with row 3 uncommitted: the destructor must roll it back.
    }
    SqlSession later = SqlSession::attach(file);
    EXPECT_EQ(single(later, "SELECT LIST(I) FROM T"), "1");
    EXPECT_THROW(SqlSession::attach(scratch.file("missing.fdb")), std::runtime_error);
}

TEST(SampleDatabase, IsReproducibleWithStaleTotalsAndThePlantedIrregularities) {
    Scratch scratch;
    fbtools::SampleOptions options;
    options.products = 80;
    options.forcedWrites = false;
    const auto summary = fbtools::createSampleDatabase(scratch.file("a.fdb"), options);
    fbtools::createSampleDatabase(scratch.file("b.fdb"), options);
    options.seed = 2;
    fbtools::createSampleDatabase(scratch.file("c.fdb"), options);

    const char* const everything[] = {
        "SELECT LIST(CODIGO || '/' || FILIAL || NOME || SALDO || PRECOVENDA || "
        "COALESCE(ULTIMAVENDA, '-'), ';') FROM (SELECT * FROM PRODUTO ORDER BY 1, 2)",
        "SELECT LIST(PRODUTO || '/' || FILIAL || '/' || TAMANHO || '/' || COR || '=' || "
        "COALESCE(SALDO, 'n'), ';') FROM (SELECT * FROM COR_PROD ORDER BY 1, 2, 3, 4)",
        "SELECT LIST(PRODUTO || '/' || CODIGO || DATA || HORA || QUANTIDADE, ';') "
        "FROM (SELECT * FROM MOV_PROD ORDER BY 1, 2, 3, 4, 5, 6)"};
    SqlSession a = SqlSession::attach(scratch.file("a.fdb"));
    SqlSession b = SqlSession::attach(scratch.file("b.fdb"));
    SqlSession c = SqlSession::attach(scratch.file("c.fdb"));
    for (const char* sql : everything) {
        EXPECT_EQ(single(a, sql), single(b, sql));
        EXPECT_NE(single(a, sql), single(c, sql));
    }
    EXPECT_FALSE(a.forcedWrites());

    EXPECT_EQ(single(a, "SELECT COUNT(*) FROM PRODUTO"), std::to_string(summary.products));
    EXPECT_EQ(single(a, "SELECT COUNT(*) FROM TAM_PROD"), std::to_string(summary.sizeRows));
    EXPECT_EQ(single(a, "SELECT COUNT(*) FROM COR_PROD"), std::to_string(summary.colourRows));
    EXPECT_EQ(single(a, "SELECT COUNT(*) FROM MOV_PROD"), std::to_string(summary.movementRows));
    EXPECT_NE(single(a,
                     "SELECT COUNT(*) FROM PRODUTO P WHERE (SELECT COUNT(*) FROM PRODUTO Q "
                     "WHERE Q.CODIGO = P.CODIGO) > 1"),
              "0");
    // No product's stored SALDO matches its COR_PROD total.
    EXPECT_EQ(single(a,
                     "SELECT COUNT(*) FROM PRODUTO P WHERE P.SALDO = (SELECT SUM(C.SALDO) "
                     "FROM COR_PROD C WHERE C.PRODUTO = P.CODIGO AND C.FILIAL = P.FILIAL)"),
              "0");

    const auto key = [](const std::optional<fbtools::ProductKey>& k) -> fbtools::Params {
        return {std::int64_t{k.value().code}, std::int64_t{k.value().branch}};
    };
    EXPECT_EQ(single(a, "SELECT COUNT(*) FROM TAM_PROD WHERE PRODUTO = ? AND FILIAL = ?",
                     key(summary.withoutSizes)),
              "0");
    EXPECT_EQ(single(a,
                     "SELECT COUNT(*) FROM TAM_PROD WHERE PRODUTO = ? AND FILIAL = ? "
                     "AND TAMANHO IS NULL",
                     key(summary.withNullSize)),
              "1");
    EXPECT_EQ(single(a,
                     "SELECT COUNT(*) FROM TAM_PROD T WHERE PRODUTO = ? AND FILIAL = ? AND NOT "
                     "EXISTS (SELECT 1 FROM COR_PROD C WHERE C.PRODUTO = T.PRODUTO AND "
                     "C.FILIAL = T.FILIAL AND C.TAMANHO = T.TAMANHO)",
                     key(summary.sizeWithoutColours)),
              "1");
    const fbtools::Params stray{std::int64_t{summary.strayColourSize.value().code},
                                std::int64_t{summary.strayColourSize.value().branch},
                                std::int64_t{summary.strayColourTamanho.value()}};
    EXPECT_EQ(single(a,
                     "SELECT COUNT(*) FROM COR_PROD C WHERE PRODUTO = ? AND FILIAL = ? AND "
                     "TAMANHO = ? AND NOT EXISTS (SELECT 1 FROM TAM_PROD T WHERE T.PRODUTO = "
                     "C.PRODUTO AND T.FILIAL = C.FILIAL AND T.TAMANHO = C.TAMANHO)",
                     stray),
              std::to_string(options.colours));
    EXPECT_EQ(single(a, "SELECT COUNT(*) FROM MOV_PROD WHERE PRODUTO = ?",
                     {std::int64_t{summary.orphanMovements.value().code}}),
              std::to_string(options.movements));
    EXPECT_EQ(single(a, "SELECT COUNT(*) FROM PRODUTO WHERE CODIGO = ?",
                     {std::int64_t{summary.orphanMovements.value().code}}),
              "0");
}

}  // namespace
