#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

// 1 January 1970 counted from 30 December 1899.
constexpr std::int64_t kUnixEpochDay = 25569;

struct LocalClock {
    std::tm fields{};
    long milliseconds = 0;
};

LocalClock readLocalClock() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    LocalClock clock;
    localtime_r(&now.tv_sec, &clock.fields);
    clock.milliseconds = now.tv_nsec / 1000000;
    return clock;
}

std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

}  // namespace

std::string currentDirectory() {
    std::vector<char> buffer(256);
    while (true) {
        if (getcwd(buffer.data(), buffer.size()) != nullptr) return buffer.data();
        if (errno != ERANGE)
            throw std::runtime_error(std::string("The current folder cannot be read: ") +
                                     std::strerror(errno));
        buffer.resize(buffer.size() * 2);
    }
}

std::string fileInDirectory(const std::string& directory, const std::string& fileName) {
    return directory + "/" + fileName;
}

std::int32_t localDate() {
    const LocalClock clock = readLocalClock();
    const std::int64_t days =
        daysFromCivil(clock.fields.tm_year + 1900, static_cast<unsigned>(clock.fields.tm_mon + 1),
                      static_cast<unsigned>(clock.fields.tm_mday));
    return static_cast<std::int32_t>(days + kUnixEpochDay);
}

std::int32_t localTimeOfDay() {
    const LocalClock clock = readLocalClock();
    return static_cast<std::int32_t>(
        ((clock.fields.tm_hour * 60 + clock.fields.tm_min) * 60 + clock.fields.tm_sec) * 1000 +
        clock.milliseconds);
}

std::string executablePath() {
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return {};
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace platform
