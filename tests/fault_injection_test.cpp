// Every call the binding makes to the client library may fail. Make call 1 fail, then call
// 2, and so on until a run completes with no failure injected; after each failure the
// error names the failed call, the program is still usable, and every product is wholly
// old or wholly rebuilt, also after the shutdown commit.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "support/scratch.h"
#include "tools/sample_database.h"

namespace {

using fbtools::SqlSession;
using support::Program;

// A table of client-library entry points that counts the calls and makes one of them fail
// with a real engine status: a lock conflict, followed by a line naming the call.
struct Faults {
    static inline const binding::ClientApi* real = nullptr;
    static inline long calls = 0;
    static inline long failAt = 0;
    static inline std::string failedCall;
};

template <auto Member, const char* Name, typename Signature>
struct Trampoline;

template <auto Member, const char* Name, typename... Args>
struct Trampoline<Member, Name, ISC_STATUS (*)(ISC_STATUS*, Args...)> {
    static ISC_STATUS call(ISC_STATUS* status, Args... args) {
        if (++Faults::calls == Faults::failAt) {
            Faults::failedCall = Name;
            static std::string text;
            text = std::string(Name) + " failed (injected)";
            status[0] = isc_arg_gds;
            status[1] = isc_lock_conflict;
            status[2] = isc_arg_gds;
            status[3] = isc_random;
            status[4] = isc_arg_string;
            status[5] = reinterpret_cast<ISC_STATUS>(text.c_str());
            status[6] = isc_arg_end;
            return status[1];
        }
        return (Faults::real->*Member)(status, args...);
    }
};

#define ENTRY(member, name)                                             \
    static constexpr char name##_name[] = #name;                        \
    api->member = &Trampoline<&binding::ClientApi::member, name##_name, \
                              decltype(binding::ClientApi::member)>::call

std::shared_ptr<const binding::ClientApi> faultyApi() {
    static auto real = binding::loadClientLibrary(binding::defaultClientLibraryName());
    Faults::real = real.get();
    auto api = std::make_shared<binding::ClientApi>(*real);
    ENTRY(attach_database, isc_attach_database);
    ENTRY(detach_database, isc_detach_database);
    ENTRY(database_info, isc_database_info);
    ENTRY(start_multiple, isc_start_multiple);
    ENTRY(commit_retaining, isc_commit_retaining);
    ENTRY(commit_transaction, isc_commit_transaction);
    ENTRY(rollback_transaction, isc_rollback_transaction);
    ENTRY(dsql_allocate_statement, isc_dsql_allocate_statement);
    ENTRY(dsql_prepare, isc_dsql_prepare);
    ENTRY(dsql_describe, isc_dsql_describe);
    ENTRY(dsql_describe_bind, isc_dsql_describe_bind);
    ENTRY(dsql_execute, isc_dsql_execute);
    ENTRY(dsql_execute2, isc_dsql_execute2);
    ENTRY(dsql_fetch, isc_dsql_fetch);
    ENTRY(dsql_free_statement, isc_dsql_free_statement);
    return api;
}

class FaultInjectionTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        template_ = new support::ScratchFolder();
        fbtools::SampleOptions options;
        options.products = 8;
        options.sizes = 2;
        options.colours = 2;
        options.movements = 3;
        options.forcedWrites = false;
        fbtools::createSampleDatabase(template_->database(), options);
    }
    static void TearDownTestSuite() { delete template_; }

    void freshDatabase() {
        std::filesystem::remove(folder_.database());
        std::filesystem::copy_file(template_->database(), folder_.database());
    }

    // Each product is as it was before the run, or wholly rebuilt.
    void expectEveryProductWhole(const std::string& when) {
        SqlSession session = SqlSession::attach(folder_.database());
        const auto states = support::productStates(session);
        const auto problems = support::disagreementsWithTotals(session);
        for (const auto& [key, state] : states) {
            const std::string name = std::to_string(key.first) + "/" + std::to_string(key.second);
            const bool rebuilt = std::none_of(problems.begin(), problems.end(),
                                              [&](auto& p) { return p.rfind(name + ":", 0) == 0; });
            EXPECT_TRUE(rebuilt || state == before_.at(key))
                << "product " << name << " half-done " << when << " after a failure of call "
                << Faults::failAt << " (" << Faults::failedCall << ")";
        }
    }

    static inline support::ScratchFolder* template_ = nullptr;
    support::ScratchFolder folder_;
    std::map<support::ProductKey, support::ProductState> before_;
};

TEST_F(FaultInjectionTest, EveryClientCallFailingInTurn) {
    freshDatabase();
    {
        SqlSession session = SqlSession::attach(folder_.database());
        before_ = support::productStates(session);
    }
    long failed = 0;
    for (long failAt = 1;; ++failAt) {
        freshDatabase();
        Faults::calls = 0;
        Faults::failAt = failAt;
        Faults::failedCall.clear();
        auto program = std::make_unique<Program>(folder_.path().string(), faultyApi());
        std::string error;
        try {
            program->press();
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (error.empty()) {
            program.reset();
            if (Faults::failedCall.empty()) break;  // a whole run with nothing injected
            // The failure hit the shutdown, where nothing is reported: the data must still
            // be whole.
            ++failed;
            expectEveryProductWhole("at shutdown");
            continue;
        }
        ++failed;
        ASSERT_FALSE(Faults::failedCall.empty()) << "unexpected error: " << error;
        EXPECT_NE(error.find(Faults::failedCall + " failed (injected)"), std::string::npos)
            << error;
        EXPECT_EQ(program->finishedMessages(), 0);
        expectEveryProductWhole("after the error");

        if (failAt % 2 == 0) {
            // Closing the program: the shutdown commit must not carry half a product.
            program.reset();
            expectEveryProductWhole("after closing");
            program = std::make_unique<Program>(folder_.path().string());
        }
        // Still usable: the next press (nothing fails any more) completes the work.
        program->press();
        EXPECT_EQ(program->finishedMessages(), 1) << "call " << failAt;
        program.reset();
        SqlSession session = SqlSession::attach(folder_.database());
        EXPECT_EQ(support::disagreementsWithTotals(session), std::vector<std::string>{})
            << "after a failure of call " << failAt << " (" << Faults::failedCall << ")";
        if (HasFailure()) break;
    }
    std::cout << "client calls failed in turn: " << failed << std::endl;
    RecordProperty("failed_calls", static_cast<int>(failed));
    EXPECT_GT(failed, 50);
}

}  // namespace
