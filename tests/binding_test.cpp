// The binding as the user meets it: every kind of bad input ends in one clear error with
// exactly the text the error box shows, loses nothing that was committed, and a later press
// completes once the cause has gone. Databases of the older SQL dialect and column names
// that need quoting work as any other. The main cases run through the embedded engine and,
// when a server answers on loopback, through the server holding the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include "binding/error.h"
#include "support/scratch.h"
#include "tools/sample_database.h"

namespace {

using fbtools::SqlSession;
using support::Program;

void run(SqlSession& session, const std::vector<std::string>& statements) {
    for (const auto& sql : statements) session.execute(sql);
    session.commit();
}

std::string value(SqlSession& session, const std::string& sql) {
    auto rows = session.query(sql);
    session.commit();
    if (rows.empty()) return "<no row>";
    return rows[0][0].value_or("<null>");
}

// Three products with stale sums and an old movement each; plain SQL, so it reads the same
// in either dialect.
void addThreeProducts(SqlSession& session) {
    for (int code = 1; code <= 3; ++code) {
        const std::string c = std::to_string(code);
        run(session, {
                         "INSERT INTO PRODUTO (CODIGO, FILIAL, NOME, SALDO, ESTOQUEFISICO) "
                         "VALUES (" +
                             c + ", 1, 'P" + c + "', 99, 99)",
                         "INSERT INTO TAM_PROD (PRODUTO, FILIAL, CODIGO, TAMANHO) VALUES (" + c +
                             ", 1, 1, 10)",
                         "INSERT INTO COR_PROD VALUES (" + c + ", 1, 10, 1, " + c + ".5, " + c +
                             ".25, NULL)",
                         "INSERT INTO COR_PROD VALUES (" + c + ", 1, 10, 2, 1.125, -0.5, NULL)",
                         "INSERT INTO MOV_PROD (CODIGO, FILIAL, PRODUTO, MARCA, TAMANHO, COR, "
                         "QUANTIDADE, SITUACAO) VALUES (7, 1, " +
                             c + ", 0, 0, 0, 99, '1')",
                     });
    }
}

// The first row, its values joined by "|".
std::string rowText(SqlSession& session, const std::string& sql) {
    auto rows = session.query(sql);
    session.commit();
    std::string text;
    for (const auto& column : rows.at(0))
        text += (text.empty() ? "" : "|") + column.value_or("<null>");
    return text;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find("\r\n", start);
        result.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return result;
        start = end + 2;
    }
}

// A client-library text as the user must see it: the library's lines joined by CR LF, no
// bare line feed, no final full stop, and the line that says what is wrong among them.
void expectLibraryText(const std::string& text, const std::string& keyLine) {
    const auto parts = lines(text);
    EXPECT_NE(std::find(parts.begin(), parts.end(), keyLine), parts.end())
        << "no line \"" << keyLine << "\" in:\n"
        << text;
    for (const auto& part : parts) {
        EXPECT_EQ(part.find('\n'), std::string::npos) << text;
        EXPECT_EQ(part.find('\r'), std::string::npos) << text;
    }
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '.') << text;
}

void gfix(const std::string& arguments, const std::string& file) {
    const std::string command =
        "gfix " + arguments + " -user SYSDBA -password pinecrest '" + file + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::string fileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return "<no file>";
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// ---- The text of a failed library call -----------------------------------------------------

// Lines handed out by a stand-in for the library's fb_interpret.
const std::vector<std::string>* fakeLines = nullptr;
ISC_LONG fakeInterpret(char* buffer, unsigned int size, const ISC_STATUS** cursor) {
    const auto index = static_cast<std::size_t>(**cursor);
    if (index >= fakeLines->size()) return 0;
    std::snprintf(buffer, size, "%s", (*fakeLines)[index].c_str());
    ++*cursor;
    return static_cast<ISC_LONG>((*fakeLines)[index].size());
}

TEST(LibraryErrorText, LinesJoinedByCrLfAndOneFinalFullStopDropped) {
    binding::ClientApi api;
    api.interpret = fakeInterpret;
    const ISC_STATUS status[] = {0, 1, 2, 3};
    const struct {
        std::vector<std::string> lines;
        std::string shown;
    } cases[] = {
        {{"Dynamic SQL Error", "SQL error code = -204", "Table unknown."},
         "Dynamic SQL Error\r\nSQL error code = -204\r\nTable unknown"},
        {{"Your user name and password are not defined.", "Ask the administrator.."},
         "Your user name and password are not defined.\r\nAsk the administrator."},
        {{"one line"}, "one line"},
    };
    for (const auto& c : cases) {
        fakeLines = &c.lines;
        EXPECT_EQ(binding::statusText(api, status), c.shown);
    }
    fakeLines = nullptr;
}

// ---- Bad input: a clear error, nothing lost ----------------------------------------------------

class BadInputTest : public ::testing::Test {
  public:  // the cases below spoil and repair the file through these
    void SetUp() override {
        session_.emplace(support::createStockDatabase(folder_));
        addThreeProducts(db());
    }

    SqlSession& db() { return *session_; }
    std::string path() const { return folder_.database(); }
    void detach() { session_.reset(); }
    void attach() { session_.emplace(SqlSession::attach(path())); }
    void recreate() {
        detach();
        std::filesystem::remove(path());
        session_.emplace(support::createStockDatabase(folder_));
        addThreeProducts(db());
    }

    // What the failed press must not have touched: every row of the tables there are, or
    // the file's bytes while it is no database.
    std::string state(bool readable) {
        if (!readable) return fileBytes(path());
        std::string text;
        for (const char* table : {"PRODUTO", "TAM_PROD", "COR_PROD", "MOV_PROD"}) {
            if (value(db(), std::string("SELECT COUNT(*) FROM RDB$RELATIONS WHERE "
                                        "RDB$RELATION_NAME = '") +
                                table + "'") == "0")
                continue;
            text += table + std::string("\n");
            for (const auto& row :
                 db().query(std::string("SELECT * FROM ") + table + " ORDER BY 1, 2, 3, 4")) {
                for (const auto& column : row) text += column.value_or("<null>") + "|";
                text += "\n";
            }
            db().commit();
        }
        return text;
    }

    support::ScratchFolder folder_;
    std::optional<SqlSession> session_;
};

struct BadInput {
    const char* name;
    std::function<void(BadInputTest&)> spoil;
    std::function<void(BadInputTest&)> repair;
    // The whole text for the binding's own messages; the telling line of a library text.
    std::function<std::string(const std::string& file)> expected;
    bool libraryText = false;
    bool readableWhenSpoilt = true;
    // The file's mode only changes with nobody attached: the user closes the program to
    // repair it.
    bool repairNeedsTheProgramClosed = false;
};

TEST_F(BadInputTest, EachShowsItsErrorLosesNothingAndALaterPressCompletes) {
    const BadInput inputs[] = {
        {"no database file",
         [](BadInputTest& t) {
             t.detach();
             std::filesystem::remove(t.path());
         },
         [](BadInputTest& t) { t.recreate(); },
         [](const std::string& file) {
             return "I/O error during \"open\" operation for file \"" + file + "\"";
         },
         true, false},
        {"a file of that name that is no database",
         [](BadInputTest& t) {
             t.detach();
             std::ofstream file(t.path(), std::ios::trunc);
             for (int line = 0; line < 2000; ++line)
                 file << "CODIGO;FILIAL;SALDO;" << line << ";1;0,000\n";
             support::shareWithServer(t.path());
         },
         [](BadInputTest& t) { t.recreate(); },
         [](const std::string& file) { return "file " + file + " is not a valid database"; }, true,
         false},
        {"database in read-only mode",
         [](BadInputTest& t) {
             t.detach();
             gfix("-mode read_only", t.path());
             t.attach();
         },
         [](BadInputTest& t) {
             t.detach();
             gfix("-mode read_write", t.path());
             t.attach();
         },
         [](const std::string&) { return "attempted update on read-only database"; }, true, true,
         true},
        {"no table COR_PROD", [](BadInputTest& t) { run(t.db(), {"DROP TABLE COR_PROD"}); },
         [](BadInputTest& t) {
             run(t.db(), {"CREATE TABLE COR_PROD (PRODUTO INTEGER NOT NULL, FILIAL INTEGER NOT "
                          "NULL, TAMANHO INTEGER NOT NULL, COR INTEGER NOT NULL, SALDO "
                          "NUMERIC(18,3), ESTOQUEFISICO NUMERIC(18,3), CODIGOBARRA VARCHAR(13))"});
             run(t.db(), {"INSERT INTO COR_PROD VALUES (2, 1, 10, 1, 4.5, 1, NULL)"});
         },
         [](const std::string&) {
             return "Dynamic SQL Error\r\nSQL error code = -204\r\nTable unknown\r\nCOR_PROD\r\n"
                    "At line 1, column 24";
         }},
        {"MOV_PROD without SITUACAO",
         [](BadInputTest& t) { run(t.db(), {"ALTER TABLE MOV_PROD DROP SITUACAO"}); },
         [](BadInputTest& t) {
             run(t.db(), {"ALTER TABLE MOV_PROD ADD SITUACAO VARCHAR(1)",
                          "ALTER TABLE MOV_PROD ALTER SITUACAO POSITION 11"});
         },
         [](const std::string&) { return "Movimento: Field 'SITUACAO' not found"; }},
        {"COR_PROD without ESTOQUEFISICO",
         [](BadInputTest& t) { run(t.db(), {"ALTER TABLE COR_PROD DROP ESTOQUEFISICO"}); },
         [](BadInputTest& t) {
             run(t.db(), {"ALTER TABLE COR_PROD ADD ESTOQUEFISICO NUMERIC(18,3)",
                          "ALTER TABLE COR_PROD ALTER ESTOQUEFISICO POSITION 6"});
             run(t.db(), {"UPDATE COR_PROD SET ESTOQUEFISICO = 2.5 WHERE COR = 1"});
         },
         [](const std::string&) { return "Cor: Field 'ESTOQUEFISICO' not found"; }},
        {"COR_PROD.SALDO with two decimals",
         [](BadInputTest& t) {
             run(t.db(), {"ALTER TABLE COR_PROD DROP SALDO"});
             run(t.db(), {"ALTER TABLE COR_PROD ADD SALDO NUMERIC(18,2)",
                          "ALTER TABLE COR_PROD ALTER SALDO POSITION 5"});
             run(t.db(), {"UPDATE COR_PROD SET SALDO = 1.25"});
         },
         [](BadInputTest& t) {
             run(t.db(), {"ALTER TABLE COR_PROD DROP SALDO"});
             run(t.db(), {"ALTER TABLE COR_PROD ADD SALDO NUMERIC(18,3)",
                          "ALTER TABLE COR_PROD ALTER SALDO POSITION 5"});
             run(t.db(), {"UPDATE COR_PROD SET SALDO = 1.255"});
         },
         [](const std::string&) {
             return "Cor: Size mismatch for field 'SALDO', expecting: 3 actual: 2";
         }},
    };
    for (const BadInput& input : inputs) {
        SCOPED_TRACE(input.name);
        input.spoil(*this);
        const std::string before = state(input.readableWhenSpoilt);
        auto program = std::make_unique<Program>(folder_.path().string());

        const std::string error = program->pressExpectingError();
        if (input.libraryText) {
            expectLibraryText(error, input.expected(path()));
        } else {
            EXPECT_EQ(error, input.expected(path()));
        }
        EXPECT_EQ(state(input.readableWhenSpoilt), before);
        // The same error again: the failed press left nothing behind that changes it.
        EXPECT_EQ(program->pressExpectingError(), error);
        EXPECT_EQ(state(input.readableWhenSpoilt), before);

        if (input.repairNeedsTheProgramClosed) {
            program->close();
            program = std::make_unique<Program>(folder_.path().string());
        }
        input.repair(*this);
        program->press();
        EXPECT_EQ(program->finishedMessages(), 1);
        EXPECT_EQ(support::disagreementsWithTotals(db()), std::vector<std::string>{});
        program.reset();
        recreate();
    }
}

// The folder of the file is the current folder at each press; while attached, another one
// is refused without touching the connection, and the old folder keeps working.
TEST_F(BadInputTest, AnotherFolderWhileConnectedIsRefused) {
    Program program(folder_.path().string());
    program.press();
    support::ScratchFolder elsewhere;
    program.surroundings().currentDirectory = [&] { return elsewhere.path().string(); };
    EXPECT_EQ(program.pressExpectingError(), "Cannot perform operation -- DB is currently open");
    EXPECT_EQ(program.components().database("IBDatabase1").databaseName(), path());
    EXPECT_TRUE(program.components().database("IBDatabase1").connected());

    program.surroundings().currentDirectory = [&] { return folder_.path().string(); };
    program.press();
    EXPECT_EQ(program.finishedMessages(), 2);
    EXPECT_EQ(support::disagreementsWithTotals(db()), std::vector<std::string>{});
}

// ---- The tables as the rebuild uses them ----------------------------------------------------

class TableTest : public BadInputTest {
  protected:
    void SetUp() override {
        BadInputTest::SetUp();
        components_ = binding::Components::create(support::componentDescription());
        database().setDatabaseName(path());
    }
    binding::Database& database() { return components_->database("IBDatabase1"); }
    binding::Table& table(const char* name) { return components_->table(name); }
    binding::Field& field(const char* name) { return components_->field(name); }
    void openAll() {
        for (const char* name : {"Produto", "Tamanho", "Cor", "Movimento"}) table(name).open();
    }

    std::unique_ptr<binding::Components> components_;
};

TEST_F(TableTest, SameNameAgainWhileConnectedIsHarmlessAnotherIsRefused) {
    database().open();
    database().setDatabaseName(path());
    EXPECT_TRUE(database().connected());
    try {
        database().setDatabaseName(path() + ".old");
        ADD_FAILURE() << "another name was taken while connected";
    } catch (const binding::Error& error) {
        EXPECT_STREQ(error.what(), "Cannot perform operation -- DB is currently open");
    }
    EXPECT_EQ(database().databaseName(), path());
    openAll();
    EXPECT_EQ(field("ProdutoCODIGO").asInteger(), 1);
}

TEST_F(TableTest, RequiredFieldWithoutValueIsRefusedAndNothingIsWritten) {
    openAll();
    binding::Table& movimento = table("Movimento");
    movimento.insert();  // takes FILIAL and PRODUTO from the product
    field("MovimentoMARCA").setInteger(0);
    field("MovimentoTAMANHO").setInteger(0);
    field("MovimentoCOR").setInteger(0);
    field("MovimentoQUANTIDADE").setFixedPoint(binding::kFixedPointOne);
    try {
        movimento.post();
        ADD_FAILURE() << "posted without CODIGO";
    } catch (const binding::Error& error) {
        EXPECT_STREQ(error.what(), "Field 'CODIGO' must have a value");
    }
    movimento.cancel();
    components_->transaction("IBTransaction1").commitRetaining();
    EXPECT_EQ(value(db(), "SELECT COUNT(*) FROM MOV_PROD"), "3");
}

TEST_F(TableTest, EditingOrDeletingInAnEmptyDetailIsRefused) {
    run(db(), {"DELETE FROM MOV_PROD WHERE PRODUTO = 1"});
    openAll();
    binding::Table& movimento = table("Movimento");
    ASSERT_TRUE(movimento.isEmpty());
    for (const auto& action : {std::function<void()>([&] { movimento.remove(); }),
                               std::function<void()>([&] { movimento.edit(); })}) {
        try {
            action();
            ADD_FAILURE() << "no error on an empty dataset";
        } catch (const binding::Error& error) {
            EXPECT_STREQ(error.what(),
                         "Movimento: Cannot perform this operation on an empty dataset");
        }
    }
    // The next product's movement is still there to delete.
    table("Produto").next();
    ASSERT_FALSE(movimento.isEmpty());
    movimento.remove();
    EXPECT_TRUE(movimento.isEmpty());
}

TEST_F(TableTest, AFourthDecimalIsReducedByTheDatabase) {
    openAll();
    binding::Table& produto = table("Produto");
    produto.edit();
    field("ProdutoSALDO").setFixedPoint(12345);  // 1.2345
    field("ProdutoESTOQUEFISICO").setFixedPoint(-12345);
    produto.post();
    components_->transaction("IBTransaction1").commitRetaining();
    EXPECT_EQ(value(db(), "SELECT SALDO || ' ' || ESTOQUEFISICO FROM PRODUTO WHERE CODIGO = 1"),
              value(db(),
                    "SELECT CAST(1.2345 AS NUMERIC(18,3)) || ' ' || "
                    "CAST(-1.2345 AS NUMERIC(18,3)) FROM RDB$DATABASE"));
}

// ---- Names and dialects --------------------------------------------------------------------

std::vector<std::string> messagesOf(Program& program) {
    auto shown = std::make_shared<std::vector<std::string>>();
    program.surroundings().showMessage = [shown](const std::string& text) {
        shown->push_back(text);
    };
    program.press();
    return *shown;
}

TEST_F(BadInputTest, ColumnNameWithAQuoteIsCarriedThroughUnchanged) {
    run(db(), {"ALTER TABLE PRODUTO ADD \"PESO \"\"X\"\"\" VARCHAR(10)",
               "ALTER TABLE COR_PROD ADD \"a\"\"b\" INTEGER"});
    run(db(), {"UPDATE PRODUTO SET \"PESO \"\"X\"\"\" = 'p' || CODIGO",
               "UPDATE COR_PROD SET \"a\"\"b\" = COR"});
    Program program(folder_.path().string());
    EXPECT_EQ(messagesOf(program), std::vector<std::string>{rebuild::kFinishedMessage});
    EXPECT_EQ(support::disagreementsWithTotals(db()), std::vector<std::string>{});
    EXPECT_EQ(value(db(),
                    "SELECT LIST(\"PESO \"\"X\"\"\", ',') FROM "
                    "(SELECT * FROM PRODUTO ORDER BY CODIGO)"),
              "p1,p2,p3");
}

// support::disagreementsWithTotals cannot read a database of dialect 1 (its DATE literal is
// refused there, and a NUMERIC kept as a double renders without its scale), so the older
// dialect is checked numerically: sums to half a thousandth, and exactly the summary
// movements the totals call for.
std::vector<std::string> olderDialectDisagreements(SqlSession& session) {
    auto total = [](const char* column) {
        return std::string("COALESCE((SELECT SUM(COALESCE(C.") + column +
               ", 0)) FROM TAM_PROD T JOIN COR_PROD C ON C.PRODUTO = T.PRODUTO AND "
               "C.FILIAL = T.FILIAL AND C.TAMANHO = T.TAMANHO WHERE T.PRODUTO = P.CODIGO AND "
               "T.FILIAL = P.FILIAL), 0)";
    };
    auto summary = [](const char* code, const char* quantity, const char* situation) {
        return std::string("(ABS(") + quantity +
               ") >= 0.0005 AND NOT EXISTS (SELECT 1 FROM MOV_PROD M WHERE M.FILIAL = X.FILIAL "
               "AND M.PRODUTO = X.CODIGO AND M.CODIGO = " +
               code +
               " AND M.MARCA = 0 AND M.TAMANHO = 0 AND M.COR = 0 AND M.ENTRADASAIDA = '1' "
               "AND M.SITUACAO = '" +
               situation +
               "' AND M.OBSERVACAO IS NULL AND "
               "ABS(M.QUANTIDADE - " +
               quantity + ") < 0.0005))";
    };
    const std::string sql =
        "SELECT CODIGO || '/' || FILIAL FROM (SELECT P.CODIGO, P.FILIAL, P.SALDO AS PS, "
        "P.ESTOQUEFISICO AS PF, " +
        total("SALDO") + " AS S, " + total("ESTOQUEFISICO") +
        " AS F FROM PRODUTO P) X WHERE PS IS NULL OR PF IS NULL OR ABS(PS - S) >= 0.0005 OR "
        "ABS(PF - F) >= 0.0005 OR (SELECT COUNT(*) FROM MOV_PROD M WHERE M.FILIAL = X.FILIAL "
        "AND M.PRODUTO = X.CODIGO) <> (CASE WHEN ABS(S) >= 0.0005 THEN 1 ELSE 0 END) + "
        "(CASE WHEN ABS(F) >= 0.0005 THEN 1 ELSE 0 END) OR " +
        summary("1", "S", "1") + " OR " + summary("2", "F", "0") + " ORDER BY 1";
    std::vector<std::string> products;
    for (const auto& row : session.query(sql)) products.push_back(*row[0]);
    session.commit();
    return products;
}

class OlderDialectTest : public ::testing::Test {
  protected:
    support::ScratchFolder folder_;
};

// A database of dialect 1 is worked in dialect 1, without a word to the user; one made in
// dialect 3 and later set to dialect 1 keeps its DATE and TIME columns and works too.
TEST_F(OlderDialectTest, WholeRunAgreesWithTotalsWithoutAMessage) {
    for (const bool lowered : {false, true}) {
        SCOPED_TRACE(lowered ? "made in dialect 3, set to 1" : "made in dialect 1");
        std::filesystem::remove(folder_.database());
        fbtools::SampleOptions options;
        options.products = 60;
        options.dialect = lowered ? 3 : 1;
        fbtools::createSampleDatabase(folder_.database(), options);
        support::shareWithServer(folder_.database());
        if (lowered) gfix("-sql_dialect 1", folder_.database());
        SqlSession session = SqlSession::attach(folder_.database());
        ASSERT_EQ(session.dialect(), 1);
        {
            Program program(folder_.path().string());
            EXPECT_EQ(messagesOf(program), std::vector<std::string>{rebuild::kFinishedMessage});
            EXPECT_EQ(program.components().database("IBDatabase1").sqlDialect(), 1);
            EXPECT_EQ(olderDialectDisagreements(session), std::vector<std::string>{});
            // A database made in dialect 1 keeps dates and times of day as timestamps.
            const std::string when =
                rowText(session,
                        "SELECT MIN(DATA), MAX(DATA), MIN(HORA), MAX(HORA) FROM MOV_PROD "
                        "WHERE MARCA = 0 AND CODIGO IN (1, 2)");
            EXPECT_EQ(when, lowered ? "2025-12-09|2025-12-09|12:34:56|12:34:56"
                                    : "2025-12-09 00:00:00|2025-12-09 00:00:00|"
                                      "1899-12-30 12:34:56|1899-12-30 12:34:56");
            // A second press on the same connection gives the same result.
            const auto states = support::productStates(session);
            program.press();
            EXPECT_EQ(support::productStates(session), states);
        }
    }
}

// ---- Through the embedded engine and through a server --------------------------------------

enum class Route { Embedded, Server };

class RouteTest : public ::testing::TestWithParam<Route> {
  protected:
    void SetUp() override {
        if (GetParam() == Route::Server && !support::serverAvailable())
            GTEST_SKIP() << "no Firebird server answers on 127.0.0.1:3050";
    }

    // Creates the file, then attaches the checking session by the route under test. Through
    // the server, that session keeps the file open in the server, so the program's plain
    // file name reaches it on loopback.
    void prepare(const std::function<void(SqlSession&)>& fill) {
        {
            SqlSession setup = support::createStockDatabase(folder_);
            fill(setup);
        }
        reattach();
    }
    void reattach() {
        session_.reset();
        session_.emplace(SqlSession::attach((GetParam() == Route::Server ? "localhost:" : "") +
                                            folder_.database()));
    }
    SqlSession& db() { return *session_; }

    void expectProgramThroughServer() {
        if (GetParam() != Route::Server) return;
        EXPECT_NE(value(db(),
                        "SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$SYSTEM_FLAG = 0 "
                        "AND MON$ATTACHMENT_ID <> CURRENT_CONNECTION "
                        "AND MON$REMOTE_PROTOCOL STARTING WITH 'TCP'"),
                  "0");
    }

    support::ScratchFolder folder_;
    std::optional<SqlSession> session_;
};

TEST_P(RouteTest, WholeRunAgreesWithTotals) {
    fbtools::SampleOptions options;
    options.products = 80;
    fbtools::createSampleDatabase(folder_.database(), options);
    support::shareWithServer(folder_.database());
    reattach();
    const auto before = support::snapshot(db());

    Program program(folder_.path().string());
    program.press();
    EXPECT_EQ(program.finishedMessages(), 1);
    expectProgramThroughServer();
    EXPECT_EQ(support::disagreementsWithTotals(db()), std::vector<std::string>{});
    const auto after = support::snapshot(db());
    EXPECT_EQ(after.at("COR_PROD"), before.at("COR_PROD"));
    EXPECT_EQ(after.at("TAM_PROD"), before.at("TAM_PROD"));
}

TEST_P(RouteTest, MissingColumnIsNamedAndALaterPressCompletes) {
    prepare([](SqlSession& s) {
        addThreeProducts(s);
        run(s, {"ALTER TABLE PRODUTO DROP SALDO"});
    });
    const auto before = support::snapshot(db());
    Program program(folder_.path().string());
    EXPECT_EQ(program.pressExpectingError(), "Produto: Field 'SALDO' not found");
    expectProgramThroughServer();
    EXPECT_EQ(support::snapshot(db()), before);

    run(db(), {"ALTER TABLE PRODUTO ADD SALDO NUMERIC(18,3)"});
    program.press();
    EXPECT_EQ(program.finishedMessages(), 1);
    EXPECT_EQ(support::disagreementsWithTotals(db()), std::vector<std::string>{});
}

// 999999999999999.999 fits the column but not the ten-thousandths the rebuild counts in.
TEST_P(RouteTest, ValueBeyondTheFixedPointRangeStopsAtItsProduct) {
    prepare([](SqlSession& s) {
        addThreeProducts(s);
        run(s, {"UPDATE COR_PROD SET SALDO = 999999999999999.999 WHERE PRODUTO = 2 AND COR = 2"});
    });
    const auto before = support::productStates(db());
    Program program(folder_.path().string());
    const std::string error = program.pressExpectingError();
    expectLibraryText(error, "numeric value is out of range");
    expectProgramThroughServer();

    const auto after = support::productStates(db());
    EXPECT_EQ(after.at({2, 1}), before.at({2, 1}));
    EXPECT_EQ(after.at({3, 1}), before.at({3, 1}));
    const support::ProductState first{
        "2.625", "0.750", {"1|0|0|0|1|2.625|1|<null>", "2|0|0|0|1|0.750|0|<null>"}};
    EXPECT_EQ(after.at({1, 1}), first);

    run(db(), {"UPDATE COR_PROD SET SALDO = 5 WHERE PRODUTO = 2 AND COR = 2"});
    program.press();
    EXPECT_EQ(program.finishedMessages(), 1);
    EXPECT_EQ(support::disagreementsWithTotals(db()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Routes, RouteTest, ::testing::Values(Route::Embedded, Route::Server),
                         [](const auto& test) {
                             return test.param == Route::Server ? "Server" : "Embedded";
                         });

}  // namespace
