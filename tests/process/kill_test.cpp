// The program killed in the middle of a run, as a power cut or a user's task manager would:
// the whole program is started as its own process on a database of some thousands of
// products, "Ok" is pressed, and the process gets SIGKILL at a seeded random moment. Each
// product must then be either rebuilt completely or exactly as it was, the rebuilt ones a
// prefix of the key order, the file must pass a full validation, and a following run must
// put every product right.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <random>
#include <set>
#include <thread>

#include "support/scratch.h"
#include "tools/sample_database.h"

#ifndef PRESS_DRIVER
#define PRESS_DRIVER ""
#define NO_PRESS_DRIVER
#endif

namespace {

using Clock = std::chrono::steady_clock;
using fbtools::SqlSession;
using support::ProductKey;
using support::ProductState;

constexpr int kProducts = 3000;
constexpr int kKills = 10;
constexpr unsigned kSeed = 20251209;

// The program started in `folder` through the driver, pressing "Ok" once and then waiting
// with its window open; its standard output comes through a pipe.
class RunningProgram {
  public:
    explicit RunningProgram(const std::filesystem::path& folder) {
        int fds[2];
        if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            dup2(fds[1], STDOUT_FILENO);
            close(fds[0]);
            close(fds[1]);
            if (chdir(folder.c_str()) != 0) _exit(126);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            execl(PRESS_DRIVER, PRESS_DRIVER, "--press-and-wait", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        output_ = fds[0];
        fcntl(output_, F_SETFL, O_NONBLOCK);
    }
    ~RunningProgram() {
        if (pid_ > 0) kill();
        close(output_);
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Waits until the driver reports a box, or the time is up; returns what it printed.
    std::string waitForBox(std::chrono::seconds limit) {
        const auto end = Clock::now() + limit;
        while (text_.find("BOX ") == std::string::npos || text_.back() != '\n') {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (left.count() <= 0) break;
            pollfd fd{output_, POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) break;
            char buffer[512];
            const ssize_t got = read(output_, buffer, sizeof buffer);
            if (got <= 0) break;
            text_.append(buffer, static_cast<std::size_t>(got));
        }
        return text_;
    }

    // SIGKILL, and true when that is what ended the process (it had not died before).
    bool kill() {
        ::kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

  private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string text_;
};

// gfix's full validation. A kill can leave the engine's page-fullness hints behind the
// pages they describe; validation counts those as warnings and the engine puts them right on
// its own, so they are reported but tolerated. Any count of errors, or a gfix that fails, is
// returned as the problem; empty when all is well.
struct Validation {
    std::string problems;
    std::string warnings;
};

Validation validate(const std::string& file) {
    const std::string command =
        "gfix -v -full -user SYSDBA -password pinecrest '" + file + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {"gfix could not be started", ""};
    Validation result;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        const std::string line = buffer;
        if (line.find("Summary of validation errors") != std::string::npos) continue;
        if (line.find("warnings") != std::string::npos)
            result.warnings += line;
        else
            result.problems += line;
    }
    const int status = pclose(pipe);
    if (status != 0) result.problems += "(gfix exit status " + std::to_string(status) + ")";
    return result;
}

std::string name(const ProductKey& key) {
    return std::to_string(key.first) + "/" + std::to_string(key.second);
}

// The products a set-based check finds wrong, by name.
std::set<std::string> wrongProducts(SqlSession& session) {
    std::set<std::string> wrong;
    for (const std::string& problem : support::disagreementsWithTotals(session, 0))
        wrong.insert(problem.substr(0, problem.find(':')));
    return wrong;
}

class KillTest : public ::testing::Test {
  protected:
    void SetUp() override {
#ifdef NO_PRESS_DRIVER
        GTEST_SKIP() << "the window driver gui_driver is not part of this build";
#endif
        fbtools::SampleOptions options;
        options.products = kProducts;
        options.forcedWrites = true;  // every commit on disk, as on the shop's machine
        fbtools::createSampleDatabase(pristine_.database(), options);
        auto session = SqlSession::attach(pristine_.database());
        before_ = support::productStates(session, true);
        ASSERT_EQ(before_.size(), static_cast<std::size_t>(kProducts));
        // The generator's sums are stale, so a rebuilt product is told from an old one.
        ASSERT_GT(wrongProducts(session).size(), static_cast<std::size_t>(kProducts * 9 / 10));
    }

    // A fresh copy of the untouched database in the trial folder.
    void freshCopy() {
        std::filesystem::copy_file(pristine_.database(), trial_.database(),
                                   std::filesystem::copy_options::overwrite_existing);
        support::shareWithServer(trial_.database());
    }

    support::ScratchFolder pristine_;
    support::ScratchFolder trial_;
    std::map<ProductKey, ProductState> before_;
};

TEST_F(KillTest, EveryProductIsWholeOrUntouchedAfterAKillAndTheNextRunFinishesTheWork) {
    // One whole run first: how long it takes sets the span the kills are spread over, and
    // the program started whole must do the same work as the pass run in-process.
    freshCopy();
    const auto start = Clock::now();
    double runSeconds = 0;
    {
        RunningProgram program(trial_.path());
        const std::string output = program.waitForBox(std::chrono::seconds(300));
        runSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        ASSERT_NE(output.find("|Acabou\n"), std::string::npos) << output;
    }
    {
        auto session = SqlSession::attach(trial_.database());
        ASSERT_EQ(support::disagreementsWithTotals(session, 0), std::vector<std::string>{});
    }
    std::cout << "whole run of " << kProducts << " products: " << runSeconds << " s\n";

    std::mt19937 random(kSeed);
    std::uniform_real_distribution<double> moment(0.05 * runSeconds, 0.95 * runSeconds);
    int killed = 0, midRun = 0, withWarnings = 0;
    long long checked = 0;
    for (int trial = 0; trial < kKills; ++trial) {
        const double delay = moment(random);
        SCOPED_TRACE("seed " + std::to_string(kSeed) + ", kill " + std::to_string(trial) +
                     " after " + std::to_string(delay) + " s");
        freshCopy();
        {
            RunningProgram program(trial_.path());
            std::this_thread::sleep_for(std::chrono::duration<double>(delay));
            ASSERT_TRUE(program.kill()) << "the program ended before it was killed";
        }
        ++killed;

        const Validation validation = validate(trial_.database());
        EXPECT_EQ(validation.problems, "");
        if (!validation.warnings.empty()) {
            ++withWarnings;
            std::cout << "validation warnings after kill " << trial << ":\n" << validation.warnings;
        }

        std::map<ProductKey, ProductState> now;
        std::set<std::string> wrong;
        {
            auto session = SqlSession::attach(trial_.database());
            now = support::productStates(session, true);
            wrong = wrongProducts(session);
        }  // let go of the file before the next run opens it
        ASSERT_EQ(now.size(), before_.size());
        int rebuilt = 0, old = 0;
        std::optional<ProductKey> firstOld;  // the first product the run did not finish
        for (const auto& [key, state] : now) {
            const bool isOld = state == before_.at(key);
            const bool isRebuilt = wrong.count(name(key)) == 0;
            EXPECT_TRUE(isOld || isRebuilt) << name(key) << " is half-done";
            if (isOld && !isRebuilt) {
                ++old;
                if (!firstOld) firstOld = key;
            }
            if (isRebuilt && !isOld) {
                ++rebuilt;
                // Products are committed one by one in key order.
                EXPECT_FALSE(firstOld)
                    << name(key) << " rebuilt after " << name(*firstOld) << ", which was not";
            }
            ++checked;
        }
        if (rebuilt > 0 && old > 0) ++midRun;
        std::cout << "kill " << trial << " after " << delay << " s: " << rebuilt
                  << " products rebuilt, " << old << " as they were\n";

        // The next run, as the user's next press after restarting, finishes the work.
        support::Program next(trial_.path().string());
        next.press();
        next.close();
        auto session = SqlSession::attach(trial_.database());
        EXPECT_EQ(support::disagreementsWithTotals(session), std::vector<std::string>{});
    }
    std::cout << killed << " kills, " << midRun << " in the middle of the work, " << checked
              << " product states checked, " << withWarnings << " validations with only warnings\n";
    RecordProperty("kills", killed);
    RecordProperty("kills_mid_run", midRun);
    RecordProperty("products_checked", static_cast<int>(checked));
    // Kills that all fell before or after the work would prove nothing about the middle.
    EXPECT_GT(midRun, kKills / 2);
}

}  // namespace
