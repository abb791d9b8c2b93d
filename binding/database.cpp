#include "binding/database.h"

#include "binding/error.h"

namespace binding {

Database::Database(std::string componentName, std::shared_ptr<const ClientApi> api)
    : componentName_(std::move(componentName)), api_(std::move(api)) {}

Database::~Database() {
    if (handle_ == 0) return;
    ISC_STATUS_ARRAY status;
    // Shutdown goes on whatever the server says: there is nobody left to tell.
    api_->detach_database(status, &handle_);
    handle_ = 0;
}

void Database::setDatabaseName(const std::string& name) {
    if (name == databaseName_) return;
    if (connected()) throw Error("Cannot perform operation -- DB is currently open");
    databaseName_ = name;
}

std::string Database::attachParameters() const {
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    for (const std::string& line : params_) {
        const auto equals = line.find('=');
        const std::string key = line.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
        char code;
        if (key == "user_name") {
            code = isc_dpb_user_name;
        } else if (key == "password") {
            code = isc_dpb_password;
        } else if (key == "lc_ctype") {
            code = isc_dpb_lc_ctype;
        } else if (key == "sql_role_name") {
            code = isc_dpb_sql_role_name;
        } else {
            throw Error("DPB Constant (" + key + ") is unknown");
        }
        if (value.size() > 255) throw Error("DPB Constant (" + key + ") is too long");
        dpb += code;
        dpb += static_cast<char>(value.size());
        dpb += value;
    }
    return dpb;
}

void Database::open() {
    if (connected()) return;
    const std::string dpb = attachParameters();
    ISC_STATUS_ARRAY status;
    isc_db_handle handle = 0;
    api_->attach_database(status, 0, databaseName_.c_str(), &handle, static_cast<short>(dpb.size()),
                          dpb.data());
    check(*api_, status);

    const char items[] = {isc_info_db_sql_dialect, isc_info_end};
    char answer[32] = {};
    api_->database_info(status, &handle, sizeof items, items, sizeof answer, answer);
    if (failed(status)) {
        Error failure(statusText(*api_, status), status[1]);
        ISC_STATUS_ARRAY ignored;
        api_->detach_database(ignored, &handle);
        throw failure;
    }
    int databaseDialect = 1;  // databases older than dialects do not answer the item
    if (answer[0] == isc_info_db_sql_dialect) {
        const int length =
            static_cast<unsigned char>(answer[1]) | (static_cast<unsigned char>(answer[2]) << 8);
        if (length >= 1) databaseDialect = static_cast<unsigned char>(answer[3]);
    }
    dialect_ = databaseDialect < configuredDialect_ ? databaseDialect : configuredDialect_;
    handle_ = handle;
}

}  // namespace binding
