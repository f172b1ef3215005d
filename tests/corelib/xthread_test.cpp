// The thread wrapper's one-at-a-time rule and its single release.

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "corelib/xexception.h"
#include "corelib/xthread.h"
#include "platform/manual_reset_event.h"
#include "support/test_support.h"

namespace {

class GatedThread final : public corelib::xthread {
public:
    ~GatedThread() override {
        gate.Set();
        release();
    }
    platform::ManualResetEvent gate;
    std::atomic<int> runs{0};

protected:
    void run() override {
        ++runs;
        gate.Wait();
    }
};

TEST(XThread, SecondStartWhileRunningRaisesAndAFinishedThreadIsReaped) {
    GatedThread thread;
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(quend::test::waitFor([&] { return thread.runs == 1; }));
    try {
        thread.start();
        FAIL() << "no exception";
    } catch (const corelib::xwarning& e) {
        EXPECT_NE(std::string(e.what()).find(" thread instance exists"), std::string::npos);
    }
    EXPECT_TRUE(thread.running());  // the first one goes on
    EXPECT_EQ(thread.runs, 1);

    thread.gate.Set();
    ASSERT_TRUE(quend::test::waitFor([&] { return !thread.running(); }));
    EXPECT_TRUE(thread.has_thread());  // ended, not yet given back
    ASSERT_TRUE(thread.start());       // reaps the ended one and runs again
    ASSERT_TRUE(quend::test::waitFor([&] { return thread.runs == 2 && !thread.running(); }));
    thread.release();
    EXPECT_FALSE(thread.has_thread());
    thread.release();  // a second release finds nothing
}

}  // namespace
