// Entry of every Windows test program. GoogleTest's own printer hands each
// failure to OutputDebugStringA as well, which raises a debug exception;
// when the 32-bit Wine loader runs under qemu user emulation, unwinding
// from that exception faults and a failing test would end in a crash
// instead of its report. This printer reports failures the same way on
// standard output only and forwards everything else to GoogleTest's.
#include "testmain.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace {

class FailurePrinter : public testing::TestEventListener {
public:
    explicit FailurePrinter(testing::TestEventListener* inner) : inner_(inner) {}

    void OnTestProgramStart(const testing::UnitTest& u) override { inner_->OnTestProgramStart(u); }
    void OnTestIterationStart(const testing::UnitTest& u, int i) override { inner_->OnTestIterationStart(u, i); }
    void OnEnvironmentsSetUpStart(const testing::UnitTest& u) override { inner_->OnEnvironmentsSetUpStart(u); }
    void OnEnvironmentsSetUpEnd(const testing::UnitTest& u) override { inner_->OnEnvironmentsSetUpEnd(u); }
    void OnTestSuiteStart(const testing::TestSuite& s) override { inner_->OnTestSuiteStart(s); }
    void OnTestStart(const testing::TestInfo& t) override { inner_->OnTestStart(t); }
    void OnTestEnd(const testing::TestInfo& t) override { inner_->OnTestEnd(t); }
    void OnTestSuiteEnd(const testing::TestSuite& s) override { inner_->OnTestSuiteEnd(s); }
    void OnEnvironmentsTearDownStart(const testing::UnitTest& u) override { inner_->OnEnvironmentsTearDownStart(u); }
    void OnEnvironmentsTearDownEnd(const testing::UnitTest& u) override { inner_->OnEnvironmentsTearDownEnd(u); }
    void OnTestIterationEnd(const testing::UnitTest& u, int i) override { inner_->OnTestIterationEnd(u, i); }
    void OnTestProgramEnd(const testing::UnitTest& u) override { inner_->OnTestProgramEnd(u); }

    void OnTestPartResult(const testing::TestPartResult& result) override
    {
        if (result.type() == testing::TestPartResult::kSuccess)
            return;
        const char* kind = result.type() == testing::TestPartResult::kSkip ? "Skipped" : "Failure";
        if (result.file_name())
            printf("%s:%d: %s\n%s\n", result.file_name(), result.line_number(), kind, result.message());
        else
            printf("unknown file: %s\n%s\n", kind, result.message());
        fflush(stdout);
    }

private:
    std::unique_ptr<testing::TestEventListener> inner_;
};

} // namespace

int RunTests(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    testing::TestEventListener* defaultPrinter = listeners.Release(listeners.default_result_printer());
    if (defaultPrinter)
        listeners.Append(new FailurePrinter(defaultPrinter));
    return RUN_ALL_TESTS();
}
