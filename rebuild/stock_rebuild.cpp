#include "rebuild/stock_rebuild.h"

#include "platform/platform.h"
#include "rebuild/stock_arithmetic.h"

namespace rebuild {

Surroundings Surroundings::fromSystem() {
    Surroundings surroundings;
    surroundings.currentDirectory = platform::currentDirectory;
    surroundings.localDate = platform::localDate;
    surroundings.localTimeOfDay = platform::localTimeOfDay;
    surroundings.showMessage = [](const std::string&) {};
    return surroundings;
}

StockRebuild::StockRebuild(const binding::Components& c)
    : IBDatabase1(c.database("IBDatabase1")),
      IBTransaction1(c.transaction("IBTransaction1")),
      Produto(c.table("Produto")),
      Tamanho(c.table("Tamanho")),
      Cor(c.table("Cor")),
      Movimento(c.table("Movimento")),
      ProdutoCODIGO(c.field("ProdutoCODIGO")),
      ProdutoFILIAL(c.field("ProdutoFILIAL")),
      ProdutoSALDO(c.field("ProdutoSALDO")),
      ProdutoESTOQUEFISICO(c.field("ProdutoESTOQUEFISICO")),
      CorSALDO(c.field("CorSALDO")),
      CorESTOQUEFISICO(c.field("CorESTOQUEFISICO")),
      MovimentoCODIGO(c.field("MovimentoCODIGO")),
      MovimentoFILIAL(c.field("MovimentoFILIAL")),
      MovimentoPRODUTO(c.field("MovimentoPRODUTO")),
      MovimentoMARCA(c.field("MovimentoMARCA")),
      MovimentoTAMANHO(c.field("MovimentoTAMANHO")),
      MovimentoCOR(c.field("MovimentoCOR")),
      MovimentoDATA(c.field("MovimentoDATA")),
      MovimentoHORA(c.field("MovimentoHORA")),
      MovimentoENTRADASAIDA(c.field("MovimentoENTRADASAIDA")),
      MovimentoQUANTIDADE(c.field("MovimentoQUANTIDADE")),
      MovimentoSITUACAO(c.field("MovimentoSITUACAO")) {}

void StockRebuild::run(const Surroundings& surroundings) {
    IBDatabase1.setDatabaseName(
        platform::fileInDirectory(surroundings.currentDirectory(), kDatabaseFileName));
    if (!IBDatabase1.connected()) IBDatabase1.open();
    IBTransaction1.start();
    try {
        processProducts(surroundings);
    } catch (...) {
        abandonProduct();
        throw;
    }
    surroundings.showMessage(kFinishedMessage);
}

void StockRebuild::processProducts(const Surroundings& surroundings) {
    Produto.open();
    Tamanho.open();
    Cor.open();
    Movimento.open();

    Produto.first();
    while (!Produto.eof()) {
        double balance = 0;
        double physical = 0;
        Tamanho.first();
        while (!Tamanho.eof()) {
            Cor.first();
            while (!Cor.eof()) {
                balance = addTenThousandths(balance, CorSALDO.asFixedPoint());
                physical = addTenThousandths(physical, CorESTOQUEFISICO.asFixedPoint());
                Cor.next();
            }
            Tamanho.next();
        }
        replaceMovements(balance, physical, surroundings);
        Produto.edit();
        ProdutoSALDO.setFixedPoint(toFixedPoint(balance));
        ProdutoESTOQUEFISICO.setFixedPoint(toFixedPoint(physical));
        Produto.next();
        IBTransaction1.commitRetaining();
    }
}

void StockRebuild::replaceMovements(double balance, double physical,
                                    const Surroundings& surroundings) {
    Movimento.first();
    while (!Movimento.isEmpty()) Movimento.remove();
    if (balance != 0) insertSummary(1, balance, "1", surroundings);
    if (physical != 0) insertSummary(2, physical, "0", surroundings);
}

void StockRebuild::insertSummary(std::int32_t code, double quantity, const char* situation,
                                 const Surroundings& surroundings) {
    Movimento.insert();
    MovimentoCODIGO.setInteger(code);
    MovimentoFILIAL.setInteger(ProdutoFILIAL.asInteger());
    MovimentoPRODUTO.setInteger(ProdutoCODIGO.asInteger());
    MovimentoMARCA.setInteger(0);
    MovimentoTAMANHO.setInteger(0);
    MovimentoCOR.setInteger(0);
    MovimentoDATA.setDate(surroundings.localDate());
    MovimentoHORA.setTime(surroundings.localTimeOfDay());
    MovimentoENTRADASAIDA.setString("1");
    MovimentoQUANTIDADE.setFixedPoint(toFixedPoint(quantity));
    MovimentoSITUACAO.setString(situation);
    Movimento.refresh();
}

// Everything since the last commit belongs to the product that failed: undo it, and have
// every table drop the row it was holding, so the product stays exactly as it was and
// neither the next run nor the shutdown commit carries half of it.
void StockRebuild::abandonProduct() {
    if (!IBTransaction1.active()) return;
    try {
        IBTransaction1.rollbackToLastCommit();
    } catch (const std::exception&) {
        // The user is shown the error that stopped the run; a transaction that cannot be
        // restarted shows itself again at the start of the next run.
    }
}

}  // namespace rebuild
