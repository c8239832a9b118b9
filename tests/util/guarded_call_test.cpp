#include "util/guarded_call.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "kv_test_support.h"

namespace {

using vantric::GuardedCall;

int calls = 0;
void Throwing(void*, ZVT::EventClass*, const uint8_t*) {
    ++calls;
    throw std::bad_alloc();
}
void Quiet(void* userData, ZVT::EventClass*, const uint8_t*) { ++*static_cast<int*>(userData); }

TEST(GuardedCall, EventsAreDroppedAndCountedEntriesReportEveryFailure) {
    kvhost::StreamCapture console;
    GuardedCall::Reset();
    int quiet = 0;
    GuardedCall::Event<Quiet>(&quiet, nullptr, nullptr);
    EXPECT_EQ(quiet, 1);
    EXPECT_EQ(GuardedCall::FailureCount(), 0u);
    for (int i = 0; i < 3; ++i) GuardedCall::Event<Throwing>(nullptr, nullptr, nullptr);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(GuardedCall::FailureCount(), 3u);
    EXPECT_EQ(console.err(), "ERROR (Vantric) Trace event failed : std::bad_alloc\n");

    console.Clear();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(GuardedCall::Entry("Setup", 7, []() -> int { throw std::runtime_error("no room"); }), 7);
    }
    GuardedCall::Entry("Release", [] { throw 42; });
    EXPECT_EQ(GuardedCall::Entry("Setup", 7, [] { return 8; }), 8);
    EXPECT_EQ(console.err(), "ERROR (Vantric) Setup failed : no room\nERROR (Vantric) Setup failed : no room\n"
                             "ERROR (Vantric) Release failed : unknown exception\n");
    EXPECT_EQ(GuardedCall::FailureCount(), 3u);  // entry failures are not dropped events
    GuardedCall::Reset();
    EXPECT_EQ(GuardedCall::FailureCount(), 0u);
}

}  // namespace
