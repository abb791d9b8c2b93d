// The stock rebuild: one pass over every product that puts into its SALDO and
// ESTOQUEFISICO the totals of its size-and-colour rows, replaces its stock movements by
// at most two summary movements and commits after each product. A product the pass
// cannot finish is left exactly as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "binding/components.h"

namespace rebuild {

// What the pass takes from its surroundings; the program's defaults read the operating
// system and show nothing.
struct Surroundings {
    std::function<std::string()> currentDirectory;
    std::function<std::int32_t()> localDate;       // days since 30 December 1899
    std::function<std::int32_t()> localTimeOfDay;  // milliseconds since midnight
    std::function<void(const std::string&)> showMessage;

    static Surroundings fromSystem();
};

// The database file the pass works on, in the current folder.
inline constexpr const char* kDatabaseFileName = "Quorvale.GDB";
// The message shown when every product has been processed.
inline constexpr const char* kFinishedMessage = "Acabou";

class StockRebuild {
  public:
    // Looks up the components the pass works with; throws binding::Error naming one
    // that the description lacks.
    explicit StockRebuild(const binding::Components& components);

    // One whole pass. Errors propagate to the caller after the failing product's work has
    // been undone; products committed before it stay committed.
    void run(const Surroundings& surroundings);

  private:
    void processProducts(const Surroundings& surroundings);
    void replaceMovements(double balance, double physical, const Surroundings& surroundings);
    void insertSummary(std::int32_t code, double quantity, const char* situation,
                       const Surroundings& surroundings);
    void abandonProduct();

    binding::Database& IBDatabase1;
    binding::Transaction& IBTransaction1;
    binding::Table& Produto;
    binding::Table& Tamanho;
    binding::Table& Cor;
    binding::Table& Movimento;
    binding::Field& ProdutoCODIGO;
    binding::Field& ProdutoFILIAL;
    binding::Field& ProdutoSALDO;
    binding::Field& ProdutoESTOQUEFISICO;
    binding::Field& CorSALDO;
    binding::Field& CorESTOQUEFISICO;
    binding::Field& MovimentoCODIGO;
    binding::Field& MovimentoFILIAL;
    binding::Field& MovimentoPRODUTO;
    binding::Field& MovimentoMARCA;
    binding::Field& MovimentoTAMANHO;
    binding::Field& MovimentoCOR;
    binding::Field& MovimentoDATA;
    binding::Field& MovimentoHORA;
    binding::Field& MovimentoENTRADASAIDA;
    binding::Field& MovimentoQUANTIDADE;
    binding::Field& MovimentoSITUACAO;
};

}  // namespace rebuild
