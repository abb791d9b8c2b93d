// The binding's components come from the window's description: the real one must build
// every component the rebuild needs, and a slip in a description must be refused at
// start-up with a line number rather than become a silently different setting.
#include <gtest/gtest.h>

#include "binding/error.h"
#include "rebuild/stock_rebuild.h"
#include "support/scratch.h"

namespace {

TEST(ComponentDescription, TheWindowsDescriptionBuildsEveryComponentClosed) {
    auto components = binding::Components::create(support::componentDescription());
    EXPECT_FALSE(components->database("IBDatabase1").connected());
    EXPECT_FALSE(components->transaction("IBTransaction1").active());
    for (const char* name : {"Produto", "Tamanho", "Cor", "Movimento"})
        EXPECT_FALSE(components->table(name).active()) << name;
    EXPECT_EQ(components->table("Cor").tableName(), "COR_PROD");
    EXPECT_EQ(components->dataSource("dsTamanho").dataSet(), &components->table("Tamanho"));
    const binding::Field& saldo = components->field("ProdutoSALDO");
    EXPECT_EQ(saldo.fieldName(), "SALDO");
    EXPECT_EQ(saldo.kind(), binding::FieldKind::Fixed);
    EXPECT_EQ(saldo.size(), 3);
    EXPECT_TRUE(components->field("MovimentoCODIGO").required());
    EXPECT_EQ(components->field("MovimentoOBSERVACAO").size(), 80);
    EXPECT_NO_THROW(rebuild::StockRebuild{*components});
}

TEST(ComponentDescription, SlipsAreRefusedWithTheirLine) {
    const std::string database =
        "object IBDatabase1: TIBDatabase\n  SQLDialect = 3\nend\n"
        "object IBTransaction1: TIBTransaction\n  DefaultDatabase = IBDatabase1\nend\n";
    struct Case {
        const char* name;
        std::string text;
        const char* error;
    } cases[] = {
        {"unknown property",
         database + "object T: TIBTable\n  Database = IBDatabase1\n"
                    "  Transaction = IBTransaction1\n  TableNam = 'X'\nend\n",
         "Component description, line 7: T.TableNam is not supported"},
        {"unsupported setting", "object D: TIBDatabase\n  LoginPrompt = True\nend\n",
         "Component description, line 1: D.LoginPrompt is not supported"},
        {"unknown class", database + "object B: TButton\nend\n",
         "Component description, line 7: class TButton is not supported"},
        {"missing reference", database + "object T: TIBTable\n  Database = IBDatabase2\nend\n",
         "Component description, line 7: T needs a Database"},
        {"missing master",
         database + "object T: TIBTable\n  Database = IBDatabase1\n"
                    "  Transaction = IBTransaction1\n  MasterSource = ds\nend\n",
         "Component description, line 7: T needs an existing MasterSource"},
        {"unterminated text", "object D: TIBDatabase\n  DatabaseName = 'x\nend\n",
         "Component description, line 2: unterminated text"},
        {"no end", "object D: TIBDatabase\n", "Component description, line 2: a name is expected"},
    };
    for (const Case& c : cases) {
        try {
            binding::Components::create(c.text);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const binding::Error& error) {
            EXPECT_STREQ(error.what(), c.error) << c.name;
        }
    }
}

}  // namespace
