// A product the rebuild cannot finish is left exactly as it was: products committed before
// it stay committed, nothing of it is carried into the next run or the shutdown commit, and
// a later press completes once the cause has gone. Run through the embedded engine and,
// when a server answers on loopback, through the server holding the file.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/scratch.h"
#include "tools/sample_database.h"

namespace {

using fbtools::SqlSession;
using support::ProductKey;
using support::Program;

enum class Route { Embedded, Server };

// The product in the middle of the key order that is made to fail.
constexpr ProductKey kFailing{20, 1};

class FailureTest : public ::testing::TestWithParam<Route> {
  protected:
    void SetUp() override {
        if (GetParam() == Route::Server && !support::serverAvailable())
            GTEST_SKIP() << "no Firebird server answers on 127.0.0.1:3050";
        fbtools::SampleOptions options;
        options.products = 60;
        options.forcedWrites = false;
        fbtools::createSampleDatabase(folder_.database(), options);
        support::shareWithServer(folder_.database());
        // Through the server: a connection of its own keeps the file open in the server, so
        // the program's plain file name reaches it on loopback.
        const std::string name =
            GetParam() == Route::Server ? "localhost:" + folder_.database() : folder_.database();
        other_.emplace(SqlSession::attach(name));
        before_ = support::productStates(*other_);
    }

    SqlSession& other() { return *other_; }

    // Every product before the failing one is rebuilt and committed; the failing one and
    // every product after it are as they were.
    void expectStoppedAtFailingProduct() {
        const auto now = support::productStates(other());
        const auto problems = support::disagreementsWithTotals(other());
        int rebuilt = 0;
        for (const auto& [key, state] : now) {
            const std::string name = std::to_string(key.first) + "/" + std::to_string(key.second);
            const bool wrong = std::any_of(problems.begin(), problems.end(),
                                           [&](auto& p) { return p.rfind(name + ":", 0) == 0; });
            if (key < kFailing) {
                EXPECT_FALSE(wrong) << name << " should be rebuilt";
                ++rebuilt;
            } else {
                EXPECT_EQ(state, before_.at(key)) << name << " should be untouched";
            }
        }
        EXPECT_GT(rebuilt, 10);
    }

    support::ScratchFolder folder_;
    std::optional<SqlSession> other_;
    std::map<ProductKey, support::ProductState> before_;
};

struct Refusal {
    const char* name;
    const char* trigger;
};

const Refusal kRefusals[] = {
    {"delete of a movement",
     "MOV_PROD BEFORE DELETE AS BEGIN "
     "IF (OLD.PRODUTO = 20 AND OLD.FILIAL = 1) THEN EXCEPTION REFUSED; END"},
    {"insert of a summary",
     "MOV_PROD BEFORE INSERT AS BEGIN "
     "IF (NEW.PRODUTO = 20 AND NEW.FILIAL = 1 AND NEW.CODIGO = 2) "
     "THEN EXCEPTION REFUSED; END"},
    {"update of the product",
     "PRODUTO BEFORE UPDATE AS BEGIN "
     "IF (NEW.CODIGO = 20 AND NEW.FILIAL = 1) THEN EXCEPTION REFUSED; END"},
};

TEST_P(FailureTest, RefusedStatementLeavesTheProductWholeAndALaterPressCompletes) {
    for (const Refusal& refusal : kRefusals) {
        SCOPED_TRACE(refusal.name);
        other().execute("CREATE EXCEPTION REFUSED 'refused by the shop''s rules'");
        other().commit();
        other().execute(std::string("CREATE TRIGGER REFUSE FOR ") + refusal.trigger);
        other().commit();

        Program program(folder_.path().string());
        const std::string error = program.pressExpectingError();
        EXPECT_NE(error.find("refused by the shop's rules"), std::string::npos) << error;
        EXPECT_NE(error.find("\r\n"), std::string::npos) << error;
        expectStoppedAtFailingProduct();

        // A second press meets the same refusal and still leaves nothing half-done.
        EXPECT_NE(program.pressExpectingError().find("refused"), std::string::npos);
        expectStoppedAtFailingProduct();

        // The cause removed, the same program finishes the work.
        other().execute("DROP TRIGGER REFUSE");
        other().execute("DROP EXCEPTION REFUSED");
        other().commit();
        program.press();
        EXPECT_EQ(program.finishedMessages(), 1);
        EXPECT_EQ(support::disagreementsWithTotals(other()), std::vector<std::string>{});

        // Back to the old state for the next kind of refusal.
        program.close();
        other_.reset();
        std::filesystem::remove(folder_.database());
        SetUp();
    }
}

TEST_P(FailureTest, ClosingAfterAnErrorCommitsNothingOfTheFailingProduct) {
    other().execute("CREATE EXCEPTION REFUSED 'refused'");
    other().commit();
    other().execute(
        "CREATE TRIGGER REFUSE FOR MOV_PROD BEFORE INSERT AS BEGIN "
        "IF (NEW.PRODUTO = 20 AND NEW.FILIAL = 1 AND NEW.CODIGO = 2) THEN EXCEPTION REFUSED; END");
    other().commit();
    {
        Program program(folder_.path().string());
        EXPECT_NE(program.pressExpectingError().find("refused"), std::string::npos);
    }  // closing the program: the shutdown commit
    expectStoppedAtFailingProduct();
}

TEST_P(FailureTest, ProductRowLockedByAnotherUser) {
    // Another terminal edits the failing product and keeps its transaction open; the
    // rebuild waits for it, and when that user commits the row has changed under the
    // rebuild's snapshot.
    other().execute(
        "UPDATE PRODUTO SET NOME = 'EDITADO NO CAIXA' WHERE CODIGO = 20 AND FILIAL = 1");
    std::thread otherUser([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        other().commit();
    });
    Program program(folder_.path().string());
    const std::string error = program.pressExpectingError();
    otherUser.join();
    EXPECT_NE(error.find("update conflicts with concurrent update"), std::string::npos) << error;
    expectStoppedAtFailingProduct();
    if (GetParam() == Route::Server) {
        // The program's plain file name did reach the file through the server.
        const auto remote = other().query(
            "SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$REMOTE_PROTOCOL IS NOT NULL "
            "AND MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND MON$SYSTEM_FLAG = 0");
        other().commit();
        EXPECT_EQ(remote.at(0).at(0).value_or("0"), "1");
    }

    // The other user is done: the next press sees their change and completes.
    program.press();
    EXPECT_EQ(program.finishedMessages(), 1);
    EXPECT_EQ(support::disagreementsWithTotals(other()), std::vector<std::string>{});
    const auto rows = other().query("SELECT NOME FROM PRODUTO WHERE CODIGO = 20 AND FILIAL = 1");
    other().commit();
    EXPECT_EQ(rows.at(0).at(0).value_or(""), "EDITADO NO CAIXA");
}

INSTANTIATE_TEST_SUITE_P(Routes, FailureTest, ::testing::Values(Route::Embedded, Route::Server),
                         [](const auto& route) {
                             return route.param == Route::Embedded ? "Embedded" : "Server";
                         });

}  // namespace
