#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

// 1 January 1601 (the system's day 0) counted back from 30 December 1899.
constexpr long long kFileTimeEpochDay = -109205;

}  // namespace

std::string currentDirectory() {
    DWORD needed = GetCurrentDirectoryA(0, nullptr);
    while (true) {
        if (needed == 0) throw std::runtime_error("The current folder cannot be read");
        std::vector<char> buffer(needed);
        const DWORD length = GetCurrentDirectoryA(needed, buffer.data());
        if (length == 0) throw std::runtime_error("The current folder cannot be read");
        if (length < needed) return std::string(buffer.data(), length);
        needed = length + 1;
    }
}

std::string fileInDirectory(const std::string& directory, const std::string& fileName) {
    return directory + "\\" + fileName;
}

std::int32_t localDate() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    now.wHour = now.wMinute = now.wSecond = now.wMilliseconds = 0;
    FILETIME file;
    SystemTimeToFileTime(&now, &file);
    ULARGE_INTEGER ticks;
    ticks.LowPart = file.dwLowDateTime;
    ticks.HighPart = file.dwHighDateTime;
    const long long days = static_cast<long long>(ticks.QuadPart / 864000000000ULL);
    return static_cast<std::int32_t>(days + kFileTimeEpochDay);
}

std::int32_t localTimeOfDay() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return ((now.wHour * 60 + now.wMinute) * 60 + now.wSecond) * 1000 + now.wMilliseconds;
}

std::string executablePath() {
    std::vector<char> buffer(MAX_PATH);
    while (true) {
        const DWORD length =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace platform
