// The stock rebuild against real database files: every product gets the totals of its
// size-and-colour rows and at most its two summary movements, and nothing else changes.
#include <gtest/gtest.h>

#include "support/scratch.h"
#include "tools/sample_database.h"

namespace {

using fbtools::SqlSession;
using support::Program;

class RebuildTest : public ::testing::Test {
  protected:
    void SetUp() override { session_.emplace(support::createStockDatabase(folder_)); }

    SqlSession& db() { return *session_; }
    void run(const std::vector<std::string>& statements) {
        for (const auto& sql : statements) db().execute(sql);
        db().commit();
    }
    std::string value(const std::string& sql) {
        auto rows = db().query(sql);
        db().commit();
        if (rows.empty()) return "<no row>";
        return rows[0][0].value_or("<null>");
    }

    // Movements of codes that have no product row in their branch.
    std::vector<fbtools::Row> orphanMovements() {
        auto rows = db().query(
            "SELECT M.* FROM MOV_PROD M WHERE NOT EXISTS (SELECT 1 FROM PRODUTO P "
            "WHERE P.CODIGO = M.PRODUTO AND P.FILIAL = M.FILIAL) ORDER BY 1, 2, 3, 4, 5, 6");
        db().commit();
        return rows;
    }

    support::ScratchFolder folder_;
    std::optional<SqlSession> session_;
};

TEST_F(RebuildTest, SampleDatabaseAgreesWithSetBasedTotalsAndKeepsOtherRows) {
    session_.reset();
    std::filesystem::remove(folder_.database());
    const auto summary = fbtools::createSampleDatabase(folder_.database(), {});
    support::shareWithServer(folder_.database());
    session_.emplace(SqlSession::attach(folder_.database()));
    const auto before = support::snapshot(db());
    const auto orphansBefore = orphanMovements();

    Program program(folder_.path().string());
    program.press();
    EXPECT_EQ(program.finishedMessages(), 1);
    EXPECT_EQ(support::disagreementsWithTotals(db()), std::vector<std::string>{});

    const auto after = support::snapshot(db());
    EXPECT_EQ(after.at("TAM_PROD"), before.at("TAM_PROD"));
    EXPECT_EQ(after.at("COR_PROD"), before.at("COR_PROD"));
    ASSERT_TRUE(summary.orphanMovements);
    EXPECT_EQ(orphanMovements(), orphansBefore);
    EXPECT_FALSE(orphansBefore.empty());
    // The other columns of the product rows are carried through unchanged.
    ASSERT_EQ(after.at("PRODUTO").size(), before.at("PRODUTO").size());

    // A second press on the same connection gives the same totals.
    const auto firstStates = support::productStates(db());
    program.press();
    EXPECT_EQ(program.finishedMessages(), 2);
    EXPECT_EQ(support::productStates(db()), firstStates);
}

TEST_F(RebuildTest, EdgeCasesOfSizesColoursAndValues) {
    run({
        // 1/1: two sizes, one listed twice (counted twice), a null size, a null SALDO.
        "INSERT INTO PRODUTO (CODIGO, FILIAL, NOME, SALDO, ESTOQUEFISICO) VALUES (1, 1, 'A', 7, 7)",
        "INSERT INTO TAM_PROD (PRODUTO, FILIAL, CODIGO, TAMANHO) VALUES (1, 1, 1, 10)",
        "INSERT INTO TAM_PROD (PRODUTO, FILIAL, CODIGO, TAMANHO) VALUES (1, 1, 2, 20)",
        "INSERT INTO TAM_PROD (PRODUTO, FILIAL, CODIGO, TAMANHO) VALUES (1, 1, 3, 20)",
        "INSERT INTO TAM_PROD (PRODUTO, FILIAL, CODIGO, TAMANHO) VALUES (1, 1, 4, NULL)",
        "INSERT INTO COR_PROD VALUES (1, 1, 10, 1, 1.111, 2.222, NULL)",
        "INSERT INTO COR_PROD VALUES (1, 1, 20, 1, 0.001, NULL, NULL)",
        "INSERT INTO COR_PROD VALUES (1, 1, 30, 1, 100, 100, NULL)",  // size it lacks
        // 1/2: the same code in another branch, negative totals.
        "INSERT INTO PRODUTO (CODIGO, FILIAL, NOME) VALUES (1, 2, 'A')",
        "INSERT INTO TAM_PROD (PRODUTO, FILIAL, CODIGO, TAMANHO) VALUES (1, 2, 1, 10)",
        "INSERT INTO COR_PROD VALUES (1, 2, 10, 1, -5.5, -0.25, NULL)",
        // 2/1: no sizes at all, old movements.
        "INSERT INTO PRODUTO (CODIGO, FILIAL, NOME, SALDO) VALUES (2, 1, 'B', 3)",
        "INSERT INTO MOV_PROD (CODIGO, FILIAL, PRODUTO, MARCA, TAMANHO, COR, QUANTIDADE) "
        "VALUES (7, 1, 2, 0, 0, 0, 3)",
        // 3/1: values that cancel out, balance only.
        "INSERT INTO PRODUTO (CODIGO, FILIAL, NOME) VALUES (3, 1, 'C')",
        "INSERT INTO TAM_PROD (PRODUTO, FILIAL, CODIGO, TAMANHO) VALUES (3, 1, 1, 10)",
        "INSERT INTO COR_PROD VALUES (3, 1, 10, 1, 5, 2, NULL)",
        "INSERT INTO COR_PROD VALUES (3, 1, 10, 2, -5, 0, NULL)",
        // 4/1: physical only; movements of code 4 in branch 3, which has no product 4.
        "INSERT INTO PRODUTO (CODIGO, FILIAL, NOME) VALUES (4, 1, 'D')",
        "INSERT INTO TAM_PROD (PRODUTO, FILIAL, CODIGO, TAMANHO) VALUES (4, 1, 1, 10)",
        "INSERT INTO COR_PROD VALUES (4, 1, 10, 1, 0, 9.999, NULL)",
        "INSERT INTO MOV_PROD (CODIGO, FILIAL, PRODUTO, MARCA, TAMANHO, COR, QUANTIDADE) "
        "VALUES (1, 3, 4, 0, 0, 0, 8)",
        "INSERT INTO MOV_PROD (CODIGO, FILIAL, PRODUTO, MARCA, TAMANHO, COR, QUANTIDADE) "
        "VALUES (1, 1, 4, 5, 5, 5, 8)",
    });
    Program program(folder_.path().string());
    program.press();
    EXPECT_EQ(program.finishedMessages(), 1);

    const auto states = support::productStates(db());
    const support::ProductState expected1{
        "1.113", "2.222", {"1|0|0|0|1|1.113|1|<null>", "2|0|0|0|1|2.222|0|<null>"}};
    EXPECT_EQ(states.at({1, 1}), expected1);  // 1.111 + 0.001 + 0.001; 2.222 + null + null
    const support::ProductState expected12{
        "-5.500", "-0.250", {"1|0|0|0|1|-5.500|1|<null>", "2|0|0|0|1|-0.250|0|<null>"}};
    EXPECT_EQ(states.at({1, 2}), expected12);
    const support::ProductState expected2{"0.000", "0.000", {}};
    EXPECT_EQ(states.at({2, 1}), expected2);
    const support::ProductState expected3{"0.000", "2.000", {"2|0|0|0|1|2.000|0|<null>"}};
    EXPECT_EQ(states.at({3, 1}), expected3);
    const support::ProductState expected4{"0.000", "9.999", {"2|0|0|0|1|9.999|0|<null>"}};
    EXPECT_EQ(states.at({4, 1}), expected4);
    EXPECT_EQ(value("SELECT COUNT(*) FROM MOV_PROD WHERE FILIAL = 3 AND PRODUTO = 4"), "1");
    EXPECT_EQ(support::disagreementsWithTotals(db()), std::vector<std::string>{});
}

TEST_F(RebuildTest, SummaryMovementsCarryTheClockInWholeSecondsAndNoColumnDefault) {
    run({"ALTER TABLE MOV_PROD ALTER COLUMN OBSERVACAO SET DEFAULT 'RESUMO'",
         "INSERT INTO PRODUTO (CODIGO, FILIAL) VALUES (1, 1)",
         "INSERT INTO TAM_PROD (PRODUTO, FILIAL, CODIGO, TAMANHO) VALUES (1, 1, 1, 1)",
         "INSERT INTO COR_PROD VALUES (1, 1, 1, 1, 1, 1, NULL)"});
    Program program(folder_.path().string());
    int reads = 0;
    program.surroundings().localTimeOfDay = [&reads] {
        return ++reads == 1 ? 8 * 3600000 + 999 : 23 * 3600000 + 59 * 60000 + 59999;
    };
    program.press();
    EXPECT_EQ(value("SELECT LIST(DATA || ' ' || HORA || ' ' || COALESCE(OBSERVACAO, '-'), ';') "
                    "FROM (SELECT * FROM MOV_PROD ORDER BY CODIGO)"),
              "2025-12-09 08:00:00.0000 -;2025-12-09 23:59:59.0000 -");
}

TEST_F(RebuildTest, EmptyProductTableFinishesAtOnce) {
    Program program(folder_.path().string());
    program.press();
    program.press();
    EXPECT_EQ(program.finishedMessages(), 2);
}

TEST_F(RebuildTest, ProductsAddedAfterTheFirstRunAreLeftToTheNextStart) {
    run({"INSERT INTO PRODUTO (CODIGO, FILIAL, SALDO) VALUES (1, 1, 5)"});
    Program program(folder_.path().string());
    program.press();
    run({"INSERT INTO PRODUTO (CODIGO, FILIAL, SALDO) VALUES (2, 1, 5)"});
    program.press();
    EXPECT_EQ(value("SELECT SALDO FROM PRODUTO WHERE CODIGO = 2"), "5.000");
    program.close();
    Program later(folder_.path().string());
    later.press();
    EXPECT_EQ(value("SELECT SALDO FROM PRODUTO WHERE CODIGO = 2"), "0.000");
}

TEST_F(RebuildTest, ManyPressesGiveTheSameTotals) {
    session_.reset();
    std::filesystem::remove(folder_.database());
    fbtools::SampleOptions options;
    options.products = 60;
    fbtools::createSampleDatabase(folder_.database(), options);
    session_.emplace(SqlSession::attach(folder_.database()));
    Program program(folder_.path().string());
    program.press();
    const auto first = support::productStates(db());
    for (int press = 0; press < 20; ++press) program.press();
    EXPECT_EQ(program.finishedMessages(), 21);
    EXPECT_EQ(support::productStates(db()), first);
}

}  // namespace
