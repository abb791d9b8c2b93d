// The few operating-system services the program needs, with a POSIX and a Windows side:
// the current folder, the local clock and the program's own file name.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The process's current working folder, whole. Throws std::runtime_error when it cannot be
// read (for example when the folder was deleted while the program runs).
std::string currentDirectory();

// A file in a folder, joined with this platform's separator. The folder's text is used as
// it stands, so a folder that already ends with a separator gives two in a row.
std::string fileInDirectory(const std::string& directory, const std::string& fileName);

// Today's local date as days since 30 December 1899.
std::int32_t localDate();
// The local time of day in milliseconds since midnight.
std::int32_t localTimeOfDay();

// The full path of the running executable.
std::string executablePath();

}  // namespace platform
