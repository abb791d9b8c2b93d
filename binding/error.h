// The one exception type of the binding: its text is exactly what the user is shown.
// A failed client-library call also carries the engine's error code (0 otherwise).
#pragma once

#include <ibase.h>

#include <stdexcept>
#include <string>

namespace binding {

class Error : public std::runtime_error {
  public:
    explicit Error(const std::string& text, ISC_STATUS engineCode = 0)
        : std::runtime_error(text), engineCode_(engineCode) {}

    // The first error code of the failed call's status vector (isc_lock_conflict, ...).
    ISC_STATUS engineCode() const { return engineCode_; }

  private:
    ISC_STATUS engineCode_;
};

struct ClientApi;

// The text of a failed call: the client library's own lines joined by CR LF, with one
// final "." removed.
std::string statusText(const ClientApi& api, const ISC_STATUS* status);

// True when a call's status vector reports a failure.
inline bool failed(const ISC_STATUS* status) { return status[0] == 1 && status[1] != 0; }

// Throws Error for a status vector that reports a failure; returns otherwise.
void check(const ClientApi& api, const ISC_STATUS* status);

// Formats a table's error about itself as "Name: message".
std::string tableMessage(const std::string& componentName, const std::string& message);

}  // namespace binding
