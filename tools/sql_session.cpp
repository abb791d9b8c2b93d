#include "tools/sql_session.h"

#include <ibase.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <utility>

namespace fbtools {

namespace {

// Each error carries the engine's own message lines so a failing test or load
// shows exactly what the server refused.
[[noreturn]] void throwStatus(const ISC_STATUS* status) {
    std::string message;
    const ISC_STATUS* vector = status;
    char line[1024];
    while (fb_interpret(line, sizeof line, &vector) > 0) {
        if (!message.empty()) message += '\n';
        message += line;
    }
    if (message.empty()) message = "unknown Firebird error";
    throw std::runtime_error(message);
}

void check(const ISC_STATUS* status) {
    if (status[0] == 1 && status[1] != 0) throwStatus(status);
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    out += '\'';
    return out;
}

class DpbBuilder {
  public:
    DpbBuilder() { bytes_.push_back(static_cast<char>(isc_dpb_version1)); }
    void add(int item, const std::string& value) {
        if (value.size() > 255) throw std::invalid_argument("connection parameter too long");
        bytes_.push_back(static_cast<char>(item));
        bytes_.push_back(static_cast<char>(value.size()));
        bytes_ += value;
    }
    void addByte(int item, int value) {
        bytes_.push_back(static_cast<char>(item));
        bytes_.push_back(1);
        bytes_.push_back(static_cast<char>(value));
    }
    const char* data() const { return bytes_.data(); }
    short size() const { return static_cast<short>(bytes_.size()); }

  private:
    std::string bytes_;
};

isc_db_handle attachHandle(const std::string& path, const DpbBuilder& dpb) {
    ISC_STATUS_ARRAY status;
    isc_db_handle db = 0;
    isc_attach_database(status, 0, path.c_str(), &db, dpb.size(), dpb.data());
    check(status);
    return db;
}

// Reads one integer item from isc_database_info.
int databaseInfoInt(isc_db_handle db, char item) {
    ISC_STATUS_ARRAY status;
    char buffer[64];
    isc_database_info(status, &db, 1, &item, sizeof buffer, buffer);
    check(status);
    if (buffer[0] != item) throw std::runtime_error("unexpected database info reply");
    const short length = static_cast<short>(isc_vax_integer(buffer + 1, 2));
    return static_cast<int>(isc_vax_integer(buffer + 3, length));
}

struct SqldaDeleter {
    void operator()(XSQLDA* sqlda) const { std::free(sqlda); }
};
using SqldaPtr = std::unique_ptr<XSQLDA, SqldaDeleter>;

SqldaPtr allocateSqlda(short count) {
    if (count < 1) count = 1;
    auto* sqlda = static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(count)));
    if (sqlda == nullptr) throw std::bad_alloc();
    sqlda->version = SQLDA_VERSION1;
    sqlda->sqln = count;
    return SqldaPtr(sqlda);
}

std::string formatScaled(std::int64_t value, int scale) {
    if (scale >= 0) {
        std::string out = std::to_string(value);
        if (value != 0) out.append(static_cast<std::size_t>(scale), '0');
        return out;
    }
    const bool negative = value < 0;
    // Negate in unsigned arithmetic so INT64_MIN does not overflow.
    std::uint64_t magnitude =
        negative ? ~static_cast<std::uint64_t>(value) + 1u : static_cast<std::uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    const auto decimals = static_cast<std::size_t>(-scale);
    if (digits.size() <= decimals) digits.insert(0, decimals + 1 - digits.size(), '0');
    digits.insert(digits.size() - decimals, 1, '.');
    return negative ? "-" + digits : digits;
}

std::string formatDouble(double value, int scale) {
    char buffer[64];
    if (scale < 0) {
        // Dialect 1 keeps wide NUMERICs as DOUBLE PRECISION with a declared scale.
        std::snprintf(buffer, sizeof buffer, "%.*f", -scale, value);
        std::string out = buffer;
        if (out[0] == '-' && out.find_first_not_of("-0.") == std::string::npos) out.erase(0, 1);
        return out;
    }
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string formatDate(ISC_DATE date) {
    std::tm parts{};
    isc_decode_sql_date(&date, &parts);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday);
    return buffer;
}

std::string formatTime(ISC_TIME time) {
    const unsigned fraction = time % 10000u;
    const unsigned seconds = time / 10000u;
    char buffer[32];
    if (fraction != 0) {
        std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u.%04u", seconds / 3600u,
                      seconds / 60u % 60u, seconds % 60u, fraction);
    } else {
        std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", seconds / 3600u, seconds / 60u % 60u,
                      seconds % 60u);
    }
    return buffer;
}

// A CHAR(n) column arrives padded to n times the widest character of its
// character set; keep n characters, as the column holds them.
std::string fixedLengthText(const char* data, short length, short charset) {
    std::string text(data, static_cast<std::size_t>(length));
    const int id = charset & 0xff;
    const int widest = id == 4 ? 4 : id == 3 ? 3 : 1;  // UTF8, UNICODE_FSS
    if (widest == 1) return text;
    std::size_t characters = static_cast<std::size_t>(length / widest);
    std::size_t end = 0;
    while (end < text.size() && characters > 0) {
        ++end;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
        --characters;
    }
    text.resize(end);
    return text;
}

}  // namespace

struct SqlSession::Impl {
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    int dialect = 3;

    ~Impl() {
        ISC_STATUS_ARRAY status;
        if (tr != 0) isc_rollback_transaction(status, &tr);
        if (db != 0) isc_detach_database(status, &db);
    }

    isc_tr_handle* transaction() {
        if (tr == 0) {
            ISC_STATUS_ARRAY status;
            isc_start_transaction(status, &tr, 1, &db, 0, nullptr);
            check(status);
        }
        return &tr;
    }

    std::string readBlob(ISC_QUAD id) {
        ISC_STATUS_ARRAY status;
        isc_blob_handle blob = 0;
        isc_open_blob2(status, &db, transaction(), &blob, &id, 0, nullptr);
        check(status);
        std::string out;
        char segment[16384];
        for (;;) {
            unsigned short got = 0;
            const ISC_STATUS rc = isc_get_segment(status, &blob, &got, sizeof segment, segment);
            if (rc != 0 && rc != isc_segment) {
                if (rc == isc_segstr_eof) break;
                ISC_STATUS_ARRAY ignored;
                isc_close_blob(ignored, &blob);
                throwStatus(status);
            }
            out.append(segment, got);
        }
        isc_close_blob(status, &blob);
        check(status);
        return out;
    }
};

struct SqlSession::Statement::State {
    SqlSession::Impl* session = nullptr;
    isc_stmt_handle handle = 0;
    int type = 0;
    SqldaPtr in;
    SqldaPtr out;

    // Backing storage for parameters and fetched columns, addressed by the SQLDAs.
    struct InputSlot {
        std::int64_t integer = 0;
        double real = 0;
        std::string text;  // two length bytes followed by the characters
        short indicator = 0;
    };
    std::vector<InputSlot> inputs;
    struct OutputSlot {
        std::vector<char> data;
        short indicator = 0;
    };
    std::vector<OutputSlot> outputs;

    ~State() {
        if (handle != 0) {
            ISC_STATUS_ARRAY status;
            isc_dsql_free_statement(status, &handle, DSQL_drop);
        }
    }

    void prepare(std::string_view sql) {
        ISC_STATUS_ARRAY status;
        isc_dsql_allocate_statement(status, &session->db, &handle);
        check(status);

        out = allocateSqlda(16);
        const std::string text(sql);
        isc_dsql_prepare(status, session->transaction(), &handle, 0, text.c_str(),
                         static_cast<unsigned short>(session->dialect), out.get());
        check(status);
        if (out->sqld > out->sqln) {
            out = allocateSqlda(out->sqld);
            isc_dsql_describe(status, &handle, 1, out.get());
            check(status);
        }
        outputs.resize(static_cast<std::size_t>(out->sqld));
        for (short i = 0; i < out->sqld; ++i) {
            XSQLVAR& var = out->sqlvar[i];
            auto& slot = outputs[static_cast<std::size_t>(i)];
            const int base = var.sqltype & ~1;
            std::size_t size = static_cast<std::size_t>(var.sqllen);
            if (base == SQL_VARYING) size += 2;
            slot.data.assign(size + 1, 0);
            var.sqldata = slot.data.data();
            var.sqlind = &slot.indicator;
            var.sqltype = static_cast<short>(base | 1);
        }

        in = allocateSqlda(8);
        isc_dsql_describe_bind(status, &handle, 1, in.get());
        check(status);
        if (in->sqld > in->sqln) {
            in = allocateSqlda(in->sqld);
            isc_dsql_describe_bind(status, &handle, 1, in.get());
            check(status);
        }
        inputs.resize(static_cast<std::size_t>(in->sqld));

        char item = isc_info_sql_stmt_type;
        char buffer[16];
        isc_dsql_sql_info(status, &handle, 1, &item, sizeof buffer, buffer);
        check(status);
        if (buffer[0] == isc_info_sql_stmt_type) {
            const short length = static_cast<short>(isc_vax_integer(buffer + 1, 2));
            type = static_cast<int>(isc_vax_integer(buffer + 3, length));
        }
    }

    // Parameters are sent in their natural C types (strings as VARCHAR in the
    // attachment charset) and the engine converts them to the declared types.
    void bind(const Params& params) {
        if (params.size() != inputs.size()) {
            throw std::invalid_argument("statement expects " + std::to_string(inputs.size()) +
                                        " parameters, got " + std::to_string(params.size()));
        }
        for (std::size_t i = 0; i < params.size(); ++i) {
            XSQLVAR& var = in->sqlvar[i];
            auto& slot = inputs[i];
            var.sqlind = &slot.indicator;
            slot.indicator = 0;
            var.sqlscale = 0;
            const Param& param = params[i];
            if (const auto* integer = std::get_if<std::int64_t>(&param)) {
                slot.integer = *integer;
                var.sqltype = SQL_INT64 | 1;
                var.sqllen = sizeof(std::int64_t);
                var.sqldata = reinterpret_cast<char*>(&slot.integer);
            } else if (const auto* real = std::get_if<double>(&param)) {
                slot.real = *real;
                var.sqltype = SQL_DOUBLE | 1;
                var.sqllen = sizeof(double);
                var.sqldata = reinterpret_cast<char*>(&slot.real);
            } else if (const auto* text = std::get_if<std::string>(&param)) {
                if (text->size() > 32765) throw std::invalid_argument("string parameter too long");
                const auto length = static_cast<unsigned short>(text->size());
                slot.text.resize(2 + text->size());
                slot.text[0] = static_cast<char>(length & 0xff);
                slot.text[1] = static_cast<char>(length >> 8);
                std::memcpy(slot.text.data() + 2, text->data(), text->size());
                var.sqltype = SQL_VARYING | 1;
                var.sqlsubtype = 0;
                var.sqllen = static_cast<short>(length);
                var.sqldata = slot.text.data();
            } else {
                slot.indicator = -1;
                slot.text.assign(2, '\0');
                var.sqltype = SQL_VARYING | 1;
                var.sqlsubtype = 0;
                var.sqllen = 0;
                var.sqldata = slot.text.data();
            }
        }
    }

    Row currentRow() {
        Row row;
        row.reserve(outputs.size());
        for (short i = 0; i < out->sqld; ++i) {
            const XSQLVAR& var = out->sqlvar[i];
            if (*var.sqlind < 0) {
                row.emplace_back(std::nullopt);
                continue;
            }
            const char* data = var.sqldata;
            const int scale = var.sqlscale;
            switch (var.sqltype & ~1) {
                case SQL_TEXT:
                    row.emplace_back(fixedLengthText(data, var.sqllen, var.sqlsubtype));
                    break;
                case SQL_VARYING: {
                    unsigned short length;
                    std::memcpy(&length, data, sizeof length);
                    row.emplace_back(std::string(data + 2, length));
                    break;
                }
                case SQL_SHORT: {
                    short value;
                    std::memcpy(&value, data, sizeof value);
                    row.emplace_back(formatScaled(value, scale));
                    break;
                }
                case SQL_LONG: {
                    ISC_LONG value;
                    std::memcpy(&value, data, sizeof value);
                    row.emplace_back(formatScaled(value, scale));
                    break;
                }
                case SQL_INT64: {
                    ISC_INT64 value;
                    std::memcpy(&value, data, sizeof value);
                    row.emplace_back(formatScaled(value, scale));
                    break;
                }
                case SQL_FLOAT: {
                    float value;
                    std::memcpy(&value, data, sizeof value);
                    row.emplace_back(formatDouble(value, scale));
                    break;
                }
                case SQL_DOUBLE:
                case SQL_D_FLOAT: {
                    double value;
                    std::memcpy(&value, data, sizeof value);
                    row.emplace_back(formatDouble(value, scale));
                    break;
                }
                case SQL_TYPE_DATE: {
                    ISC_DATE value;
                    std::memcpy(&value, data, sizeof value);
                    row.emplace_back(formatDate(value));
                    break;
                }
                case SQL_TYPE_TIME: {
                    ISC_TIME value;
                    std::memcpy(&value, data, sizeof value);
                    row.emplace_back(formatTime(value));
                    break;
                }
                case SQL_TIMESTAMP: {
                    ISC_TIMESTAMP value;
                    std::memcpy(&value, data, sizeof value);
                    row.emplace_back(formatDate(value.timestamp_date) + ' ' +
                                     formatTime(value.timestamp_time));
                    break;
                }
                case SQL_BOOLEAN:
                    row.emplace_back(*data != 0 ? "true" : "false");
                    break;
                case SQL_BLOB: {
                    ISC_QUAD id;
                    std::memcpy(&id, data, sizeof id);
                    row.emplace_back(session->readBlob(id));
                    break;
                }
                default:
                    throw std::runtime_error("unsupported column type " +
                                             std::to_string(var.sqltype & ~1) + " in " +
                                             std::string(var.sqlname, var.sqlname_length));
            }
        }
        return row;
    }

    std::vector<Row> run(const Params& params, bool wantRows) {
        bind(params);
        ISC_STATUS_ARRAY status;
        isc_tr_handle* tr = session->transaction();
        const auto dialect = static_cast<unsigned short>(session->dialect);
        std::vector<Row> rows;
        if (type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd) {
            isc_dsql_execute(status, tr, &handle, dialect, in.get());
            check(status);
            if (wantRows) {
                for (;;) {
                    const ISC_STATUS rc = isc_dsql_fetch(status, &handle, dialect, out.get());
                    if (rc == 100) break;
                    if (rc != 0) {
                        ISC_STATUS_ARRAY ignored;
                        isc_dsql_free_statement(ignored, &handle, DSQL_close);
                        throwStatus(status);
                    }
                    rows.push_back(currentRow());
                }
            }
            isc_dsql_free_statement(status, &handle, DSQL_close);
            check(status);
        } else {
            // EXECUTE PROCEDURE and INSERT ... RETURNING hand back a single row.
            const bool singleton = out->sqld > 0;
            isc_dsql_execute2(status, tr, &handle, dialect, in.get(),
                              singleton ? out.get() : nullptr);
            check(status);
            if (singleton && wantRows) rows.push_back(currentRow());
        }
        return rows;
    }
};

SqlSession::Statement::Statement(std::unique_ptr<State> state) : state_(std::move(state)) {}
SqlSession::Statement::Statement(Statement&&) noexcept = default;
SqlSession::Statement& SqlSession::Statement::operator=(Statement&&) noexcept = default;
SqlSession::Statement::~Statement() = default;

void SqlSession::Statement::execute(const Params& params) { state_->run(params, false); }

std::vector<Row> SqlSession::Statement::query(const Params& params) {
    return state_->run(params, true);
}

SqlSession::SqlSession(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SqlSession::SqlSession(SqlSession&&) noexcept = default;
SqlSession& SqlSession::operator=(SqlSession&&) noexcept = default;
SqlSession::~SqlSession() = default;

SqlSession SqlSession::create(const std::string& path, const std::string& user,
                              const std::string& password, int dialect, int pageSize,
                              const std::string& defaultCharset) {
    if (dialect != 1 && dialect != 3) throw std::invalid_argument("dialect must be 1 or 3");
    std::string sql = "CREATE DATABASE " + quoted(path) + " USER " + quoted(user) + " PASSWORD " +
                      quoted(password) + " PAGE_SIZE " + std::to_string(pageSize);
    if (!defaultCharset.empty()) sql += " DEFAULT CHARACTER SET " + defaultCharset;

    ISC_STATUS_ARRAY status;
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    isc_dsql_execute_immediate(status, &db, &tr, 0, sql.c_str(),
                               static_cast<unsigned short>(dialect), nullptr);
    check(status);
    // The creating attachment has no connection charset; reattach so strings
    // are transliterated like in every other session.
    isc_detach_database(status, &db);
    check(status);
    return attach(path, user, password);
}

SqlSession SqlSession::attach(const std::string& path, const std::string& user,
                              const std::string& password, const std::string& charset) {
    DpbBuilder dpb;
    dpb.add(isc_dpb_user_name, user);
    dpb.add(isc_dpb_password, password);
    if (!charset.empty()) dpb.add(isc_dpb_lc_ctype, charset);
    auto impl = std::make_unique<Impl>();
    impl->db = attachHandle(path, dpb);
    impl->dialect = databaseInfoInt(impl->db, isc_info_db_sql_dialect);
    return SqlSession(std::move(impl));
}

void SqlSession::setForcedWrites(const std::string& path, bool on, const std::string& user,
                                 const std::string& password) {
    DpbBuilder dpb;
    dpb.add(isc_dpb_user_name, user);
    dpb.add(isc_dpb_password, password);
    dpb.addByte(isc_dpb_force_write, on ? 1 : 0);
    isc_db_handle db = attachHandle(path, dpb);
    ISC_STATUS_ARRAY status;
    isc_detach_database(status, &db);
    check(status);
}

void SqlSession::dropDatabase(const std::string& path, const std::string& user,
                              const std::string& password) {
    DpbBuilder dpb;
    dpb.add(isc_dpb_user_name, user);
    dpb.add(isc_dpb_password, password);
    isc_db_handle db = attachHandle(path, dpb);
    ISC_STATUS_ARRAY status;
    isc_drop_database(status, &db);
    if (status[0] == 1 && status[1] != 0) {
        ISC_STATUS_ARRAY ignored;
        isc_detach_database(ignored, &db);
        throwStatus(status);
    }
}

void SqlSession::execute(std::string_view sql) { prepare(sql).execute(); }

void SqlSession::execute(std::string_view sql, const Params& params) {
    prepare(sql).execute(params);
}

std::vector<Row> SqlSession::query(std::string_view sql, const Params& params) {
    return prepare(sql).query(params);
}

SqlSession::Statement SqlSession::prepare(std::string_view sql) {
    auto state = std::make_unique<Statement::State>();
    state->session = impl_.get();
    state->prepare(sql);
    return Statement(std::move(state));
}

void SqlSession::commit() {
    if (impl_->tr == 0) return;
    ISC_STATUS_ARRAY status;
    isc_commit_transaction(status, &impl_->tr);
    check(status);
}

void SqlSession::rollback() {
    if (impl_->tr == 0) return;
    ISC_STATUS_ARRAY status;
    isc_rollback_transaction(status, &impl_->tr);
    check(status);
}

bool SqlSession::inTransaction() const { return impl_->tr != 0; }

int SqlSession::dialect() const { return impl_->dialect; }

bool SqlSession::forcedWrites() const {
    return databaseInfoInt(impl_->db, isc_info_forced_writes) != 0;
}

}  // namespace fbtools
