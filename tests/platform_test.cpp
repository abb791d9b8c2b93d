// The operating-system services the rebuild relies on: the current folder read whole or
// refused clearly, and the local clock in the program's day and millisecond counts.
#include "platform/platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>

#include "support/scratch.h"

namespace {

class CurrentFolder : public ::testing::Test {
  protected:
    void SetUp() override { saved_ = std::filesystem::current_path(); }
    void TearDown() override { std::filesystem::current_path(saved_); }
    std::filesystem::path saved_;
};

TEST_F(CurrentFolder, LongFolderIsReadWhole) {
    support::ScratchFolder scratch;
    std::filesystem::path deep = scratch.path();
    while (deep.string().size() < 600) deep /= std::string(60, 'p');
    std::filesystem::create_directories(deep);
    std::filesystem::current_path(deep);
    EXPECT_EQ(platform::currentDirectory(), deep.string());
    EXPECT_EQ(platform::fileInDirectory(deep.string(), "Quorvale.GDB"),
              deep.string() + "/Quorvale.GDB");
}

TEST_F(CurrentFolder, DeletedFolderIsAClearError) {
    support::ScratchFolder scratch;
    const auto gone = scratch.path() / "gone";
    std::filesystem::create_directory(gone);
    std::filesystem::current_path(gone);
    std::filesystem::remove(gone);
    try {
        platform::currentDirectory();
        FAIL() << "a deleted folder was read";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "The current folder cannot be read: No such file or directory");
    }
}

TEST(LocalClock, DateAndTimeCountFromTheProgramsDayZero) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // 30 December 1899 is day 0; 1 January 1970 is day 25569.
    const int expectedDay = static_cast<int>(25569 + (now + local.tm_gmtoff) / 86400);
    const std::int32_t day = platform::localDate();
    const std::int32_t time = platform::localTimeOfDay();
    EXPECT_NEAR(day, expectedDay, 1);  // a midnight may pass between the readings
    EXPECT_GE(time, 0);
    EXPECT_LT(time, 86400000);
    const int seconds = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    EXPECT_NEAR(time / 1000, seconds, 2);
}

}  // namespace
