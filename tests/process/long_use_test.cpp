// A program left open all day and pressed again and again: every press gives the same
// totals, only the movements' dates follow the clock, and the program does not keep
// memory from one run to the next.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iostream>

#include "support/scratch.h"
#include "tools/sample_database.h"

namespace {

using support::Program;

constexpr int kPresses = 22;
constexpr int kWarmUpPresses = 2;
constexpr long kGrowthBound = 256 * 1024;  // bytes over all presses after the warm-up
// The engine's page cache for the file, in pages. The program keeps one snapshot
// transaction open from its first press on (commits retain it), so the movements each
// press deletes stay in the file as old record versions and the file grows with every
// press; a cache of the default size keeps taking in those new pages. Small, it is full
// after the warm-up and whatever grows after that is the program's own.
constexpr int kCachePages = 100;

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

TEST(LongUseTest, ManyPressesGiveTheSameTotalsAndKeepNoMemory) {
    support::ScratchFolder folder;
    fbtools::SampleOptions options;
    options.products = 400;
    options.forcedWrites = false;
    fbtools::createSampleDatabase(folder.database(), options);
    support::shareWithServer(folder.database());
    const std::string buffers = "gfix -buffers " + std::to_string(kCachePages) +
                                " -user SYSDBA -password pinecrest '" + folder.database() + "'";
    ASSERT_EQ(std::system(buffers.c_str()), 0) << buffers;
    auto session = fbtools::SqlSession::attach(folder.database());

    Program program(folder.path().string());
    std::int32_t day = Program::kDay;
    program.surroundings().localDate = [&day] { return day; };

    std::map<support::ProductKey, support::ProductState> first;
    std::vector<long> resident;
    std::vector<std::uintmax_t> fileSize;
    for (int press = 0; press < kPresses; ++press) {
        SCOPED_TRACE("press " + std::to_string(press + 1));
        day = Program::kDay + press;  // one press a day
        program.press();
        resident.push_back(residentBytes());  // before the checks below allocate anything
        fileSize.push_back(std::filesystem::file_size(folder.database()));
        EXPECT_EQ(program.finishedMessages(), press + 1);
        // The movements carry this press's date: they were written afresh.
        EXPECT_EQ(support::disagreementsWithTotals(session, day), std::vector<std::string>{});
        const auto states = support::productStates(session);
        if (press == 0)
            first = states;
        else
            EXPECT_EQ(states, first);
    }
    for (std::size_t i = 0; i < resident.size(); ++i)
        std::cout << "after press " << i + 1 << ": " << resident[i] / 1024
                  << " KiB resident, database file " << fileSize[i] / 1024 << " KiB\n";
    const long growth = *std::max_element(resident.begin() + kWarmUpPresses, resident.end()) -
                        resident[kWarmUpPresses - 1];
    std::cout << "growth over presses " << kWarmUpPresses + 1 << "-" << kPresses << ": "
              << growth / 1024 << " KiB\n";
    RecordProperty("presses", kPresses);
    RecordProperty("resident_growth_bytes", static_cast<int>(growth));
    EXPECT_LT(growth, kGrowthBound);
}

}  // namespace
