#include "support/scratch.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "tools/sample_database.h"

namespace support {

ScratchFolder::ScratchFolder() {
    std::random_device random;
    for (int attempt = 0;; ++attempt) {
        path_ = std::filesystem::temp_directory_path() /
                ("atualiza-test-" + std::to_string(random()) + std::to_string(attempt));
        if (std::filesystem::create_directory(path_)) break;
    }
    std::filesystem::permissions(path_, std::filesystem::perms::all);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::all, ignored);
    std::filesystem::remove_all(path_, ignored);
}

void shareWithServer(const std::string& file) {
    std::filesystem::permissions(
        file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read | std::filesystem::perms::group_write |
                  std::filesystem::perms::others_read | std::filesystem::perms::others_write);
}

fbtools::SqlSession createStockDatabase(const ScratchFolder& folder, int dialect) {
    auto session = fbtools::SqlSession::create(folder.database(), "SYSDBA", "pinecrest", dialect);
    fbtools::createSchema(session);
    session.commit();
    shareWithServer(folder.database());
    return session;
}

std::string componentDescription() {
    std::ifstream file(ATUALIZA_SOURCE_DIR "/app/Unit1.components");
    if (!file) throw std::runtime_error("app/Unit1.components not found");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

Program::Program(std::string folder, std::shared_ptr<const binding::ClientApi> api) {
    components_ = binding::Components::create(componentDescription(), std::move(api));
    rebuild_ = std::make_unique<rebuild::StockRebuild>(*components_);
    surroundings_.currentDirectory = [folder] { return folder; };
    surroundings_.localDate = [] { return kDay; };
    surroundings_.localTimeOfDay = [] { return kTime; };
    surroundings_.showMessage = [this](const std::string& text) {
        if (text == rebuild::kFinishedMessage) ++finished_;
    };
}

Program::~Program() { close(); }

void Program::press() { rebuild_->run(surroundings_); }

std::string Program::pressExpectingError() {
    const int before = finished_;
    try {
        press();
    } catch (const std::exception& error) {
        if (finished_ != before) return "finished message shown despite the error";
        return error.what();
    }
    return "(no error)";
}

void Program::close() {
    rebuild_.reset();
    components_.reset();
}

namespace {

std::string join(const fbtools::Row& row) {
    std::string text;
    for (const auto& value : row) {
        if (!text.empty()) text += '|';
        text += value ? *value : "<null>";
    }
    return text;
}

}  // namespace

Snapshot snapshot(fbtools::SqlSession& session) {
    Snapshot result;
    const char* tables[][2] = {{"PRODUTO", "CODIGO, FILIAL"},
                               {"TAM_PROD", "PRODUTO, FILIAL, CODIGO"},
                               {"COR_PROD", "PRODUTO, FILIAL, TAMANHO, COR"},
                               {"MOV_PROD", "FILIAL, PRODUTO, CODIGO, MARCA, TAMANHO, COR"}};
    for (const auto& [table, order] : tables) {
        auto& rows = result[table];
        for (const auto& row :
             session.query(std::string("SELECT * FROM ") + table + " ORDER BY " + order))
            rows.push_back(join(row));
    }
    session.commit();
    return result;
}

std::map<ProductKey, ProductState> productStates(fbtools::SqlSession& session,
                                                 bool withMovementTimes) {
    std::map<ProductKey, ProductState> states;
    for (const auto& row :
         session.query("SELECT CODIGO, FILIAL, SALDO, ESTOQUEFISICO FROM PRODUTO")) {
        ProductState& state = states[{std::stoi(*row[0]), std::stoi(*row[1])}];
        state.saldo = row[2].value_or("<null>");
        state.estoqueFisico = row[3].value_or("<null>");
    }
    const std::string columns = withMovementTimes
                                    ? "M.*"
                                    : "M.CODIGO, M.MARCA, M.TAMANHO, M.COR, M.ENTRADASAIDA, "
                                      "M.QUANTIDADE, M.SITUACAO, M.OBSERVACAO";
    for (const auto& row : session.query(
             "SELECT P.CODIGO, P.FILIAL, " + columns +
             " FROM MOV_PROD M JOIN PRODUTO P ON P.CODIGO = M.PRODUTO AND P.FILIAL = M.FILIAL "
             "ORDER BY M.FILIAL, M.PRODUTO, M.CODIGO, M.MARCA, M.TAMANHO, M.COR")) {
        fbtools::Row rest(row.begin() + 2, row.end());
        states[{std::stoi(*row[0]), std::stoi(*row[1])}].movements.push_back(join(rest));
    }
    session.commit();
    return states;
}

std::vector<std::string> disagreementsWithTotals(fbtools::SqlSession& session, std::int32_t day) {
    // The totals as sets: every COR_PROD row reached through each TAM_PROD row of the
    // product (a size listed twice counts twice), nulls as zero.
    const std::string totals =
        "SELECT P.CODIGO, P.FILIAL, P.SALDO, P.ESTOQUEFISICO, "
        "  CAST(COALESCE((SELECT SUM(COALESCE(C.SALDO, 0)) FROM TAM_PROD T JOIN COR_PROD C "
        "    ON C.PRODUTO = T.PRODUTO AND C.FILIAL = T.FILIAL AND C.TAMANHO = T.TAMANHO "
        "    WHERE T.PRODUTO = P.CODIGO AND T.FILIAL = P.FILIAL), 0) AS NUMERIC(18,3)), "
        "  CAST(COALESCE((SELECT SUM(COALESCE(C.ESTOQUEFISICO, 0)) FROM TAM_PROD T JOIN COR_PROD C "
        "    ON C.PRODUTO = T.PRODUTO AND C.FILIAL = T.FILIAL AND C.TAMANHO = T.TAMANHO "
        "    WHERE T.PRODUTO = P.CODIGO AND T.FILIAL = P.FILIAL), 0) AS NUMERIC(18,3)) "
        "FROM PRODUTO P ORDER BY P.CODIGO, P.FILIAL";
    std::vector<std::string> problems;
    const auto states = productStates(session, true);
    const std::string dayText = [&] {
        // The database renders the fixed day as a date; ask it, so no calendar code here.
        auto rows = session.query(
            "SELECT CAST(DATEADD(? DAY TO DATE '1899-12-30') AS DATE) "
            "FROM RDB$DATABASE",
            {fbtools::Param(std::int64_t{day})});
        return *rows.at(0).at(0);
    }();
    for (const auto& row : session.query(totals)) {
        const std::string product = *row[0] + "/" + *row[1];
        const std::string saldo = *row[4], fisico = *row[5];
        if (row[2].value_or("<null>") != saldo || row[3].value_or("<null>") != fisico)
            problems.push_back(product + ": sums " + row[2].value_or("<null>") + "/" +
                               row[3].value_or("<null>") + ", totals " + saldo + "/" + fisico);
        std::vector<std::string> expected;
        auto summary = [&](const char* code, const std::string& quantity, const char* situation) {
            const std::string date = day != 0 ? dayText : "*";
            const std::string time = day != 0 ? "12:34:56" : "*";
            expected.push_back(std::string(code) + "|" + *row[1] + "|" + *row[0] + "|0|0|0|" +
                               date + "|" + time + "|1|" + quantity + "|" + situation + "|<null>");
        };
        const bool zeroSaldo = saldo == "0.000" || saldo == "-0.000";
        const bool zeroFisico = fisico == "0.000" || fisico == "-0.000";
        if (!zeroSaldo) summary("1", saldo, "1");
        if (!zeroFisico) summary("2", fisico, "0");
        std::vector<std::string> actual =
            states.at({std::stoi(*row[0]), std::stoi(*row[1])}).movements;
        if (day == 0) {
            for (std::string& movement : actual) {
                // Blank out DATA and HORA (fields 7 and 8) for a comparison without the clock.
                std::vector<std::string> parts;
                std::stringstream stream(movement);
                for (std::string part; std::getline(stream, part, '|');) parts.push_back(part);
                if (parts.size() > 7) parts[6] = parts[7] = "*";
                movement.clear();
                for (const auto& part : parts) movement += (movement.empty() ? "" : "|") + part;
            }
        }
        if (actual != expected) {
            std::string text = product + ": movements";
            for (const auto& movement : actual) text += " [" + movement + "]";
            text += ", expected";
            for (const auto& movement : expected) text += " [" + movement + "]";
            problems.push_back(text);
        }
    }
    session.commit();
    return problems;
}

bool serverAvailable() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(3050);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool open = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return open;
}

}  // namespace support
