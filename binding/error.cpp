#include "binding/error.h"

#include "binding/client_api.h"

namespace binding {

std::string statusText(const ClientApi& api, const ISC_STATUS* status) {
    std::string text;
    char line[1024];
    const ISC_STATUS* cursor = status;
    while (api.interpret(line, sizeof line, &cursor) > 0) {
        if (!text.empty()) text += "\r\n";
        text += line;
    }
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

void check(const ClientApi& api, const ISC_STATUS* status) {
    if (failed(status)) throw Error(statusText(api, status), status[1]);
}

std::string tableMessage(const std::string& componentName, const std::string& message) {
    return componentName + ": " + message;
}

}  // namespace binding
