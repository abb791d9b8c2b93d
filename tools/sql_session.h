#pragma once

// A small, self-contained path to a Firebird database over the legacy ISC C API.
// Tests use it to set up data and to check results independently of the
// application's own database layer; the sample-database generator and the
// benchmarks use it to load data quickly.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace fbtools {

// Positional statement parameter. A string is handed to the engine as text and
// converted to the parameter's type there, so fixed-point values ("-12.345"),
// dates ("2024-01-31") and times ("13:45:00") can be passed as strings exactly.
using Param = std::variant<std::monostate, std::int64_t, double, std::string>;
using Params = std::vector<Param>;

// One result row; std::nullopt is SQL NULL. Values are rendered as text:
//   integers and fixed-point numbers with their declared scale ("12.340"),
//   DATE "YYYY-MM-DD", TIME "HH:MM:SS" (".ffff" appended when non-zero),
//   TIMESTAMP (also a dialect 1 DATE) "YYYY-MM-DD HH:MM:SS" (".ffff" likewise),
//   floating point in shortest round-trip form, BOOLEAN "true"/"false",
//   strings and blobs as their bytes in the attachment character set.
using Row = std::vector<std::optional<std::string>>;

class SqlSession {
    struct Impl;

  public:
    // A statement prepared once and executed many times (bulk loading).
    // It must not outlive the session that prepared it.
    class Statement {
      public:
        Statement(Statement&&) noexcept;
        Statement& operator=(Statement&&) noexcept;
        ~Statement();

        // Runs in the session's current transaction (started on demand).
        void execute(const Params& params = {});
        std::vector<Row> query(const Params& params = {});

      private:
        friend class SqlSession;
        struct State;
        explicit Statement(std::unique_ptr<State> state);
        std::unique_ptr<State> state_;
    };

    // Creates a new database file (fails if it exists) and attaches to it.
    // `dialect` is the database's SQL dialect (1 or 3).
    static SqlSession create(const std::string& path, const std::string& user = "SYSDBA",
                             const std::string& password = "pinecrest", int dialect = 3,
                             int pageSize = 8192, const std::string& defaultCharset = "WIN1252");

    // Attaches to an existing database. Strings travel in `charset` (the
    // attachment character set); the engine transliterates to column charsets.
    static SqlSession attach(const std::string& path, const std::string& user = "SYSDBA",
                             const std::string& password = "pinecrest",
                             const std::string& charset = "UTF8");

    // Sets or clears the database's forced-writes flag (synchronous page writes).
    static void setForcedWrites(const std::string& path, bool on,
                                const std::string& user = "SYSDBA",
                                const std::string& password = "pinecrest");

    // Deletes the database file through the engine.
    static void dropDatabase(const std::string& path, const std::string& user = "SYSDBA",
                             const std::string& password = "pinecrest");

    SqlSession(SqlSession&&) noexcept;
    SqlSession& operator=(SqlSession&&) noexcept;
    // Rolls back an open transaction and detaches; never throws.
    ~SqlSession();

    void execute(std::string_view sql);
    void execute(std::string_view sql, const Params& params);
    std::vector<Row> query(std::string_view sql, const Params& params = {});
    Statement prepare(std::string_view sql);

    // Ends the current transaction; the next statement starts a new one.
    // Both are no-ops when no transaction is open.
    void commit();
    void rollback();
    bool inTransaction() const;

    // The database's SQL dialect; statements are prepared in this dialect.
    int dialect() const;
    bool forcedWrites() const;

  private:
    explicit SqlSession(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace fbtools
