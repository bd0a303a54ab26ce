#include "core/xthread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// Generous bounds: the emulated loader is slow, and only hangs must fail.
constexpr DWORD FinishPatienceMs = 10000;

bool WaitUntilFinished(const XWorkerThread& worker)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < FinishPatienceMs; Sleep(5)) {
        if (worker.IsFinished())
            return true;
    }
    return false;
}

bool EventExists(const XString& name)
{
    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, name);
    if (!event)
        return false;
    CloseHandle(event);
    return true;
}

struct TaskLog {
    std::atomic<int> runs {0};
    std::atomic<int> ticks {0};
    std::atomic<bool> sawStop {false};
    std::atomic<bool> release {false};
    std::atomic<bool> stopEventOpen {false};
};

void EndAtOnce(XEvent*, void* data)
{
    ++static_cast<TaskLog*>(data)->runs;
}

void HonourStop(XEvent* stop, void* data)
{
    auto* log = static_cast<TaskLog*>(data);
    log->stopEventOpen = stop->Handle() != nullptr;
    ++log->runs;
    while (!stop->IsSignalled())
        Sleep(5);
    log->sawStop = true;
}

// Looks only at its own release flag, never at the stop event.
void IgnoreStop(XEvent* stop, void* data)
{
    auto* log = static_cast<TaskLog*>(data);
    ++log->runs;
    while (!log->release) {
        ++log->ticks;
        Sleep(5);
    }
    log->sawStop = stop->IsSignalled();
}

TEST(XWorkerThread, NeverStartedIsFinishedAndStopDoesNothing)
{
    XWorkerThread worker;
    EXPECT_TRUE(worker.IsFinished());
    worker.Stop();
    worker.StopAndWait();
    EXPECT_TRUE(worker.IsFinished());
    EXPECT_FALSE(worker.IsSuspended());
}

TEST(XWorkerThread, TaskThatEndsAtOnceLeavesTheWorkerFinished)
{
    TaskLog log;
    XWorkerThread worker;
    worker.Start(EndAtOnce, &log, 0);
    ASSERT_TRUE(WaitUntilFinished(worker)) << "the task did not end";
    EXPECT_EQ(log.runs, 1);
    worker.Stop();
    EXPECT_TRUE(worker.IsFinished());
    EXPECT_FALSE(worker.IsSuspended());
}

TEST(XWorkerThread, TaskGetsANamedStopEventAndEndsWhenItIsSet)
{
    TaskLog log;
    XWorkerThread worker;
    worker.Start(HonourStop, &log, 0);
    XString name = worker.StopEventName();
    EXPECT_EQ(std::wstring(name.Text()).rfind(L"TRDEVTQ-", 0), 0u) << name.ToNarrow();
    EXPECT_TRUE(EventExists(name)) << "no event named " << name.ToNarrow();
    while (log.runs == 0)
        Sleep(5);
    EXPECT_FALSE(worker.IsFinished()) << "the task ended before it was asked to";
    worker.Stop();
    EXPECT_TRUE(log.sawStop);
    EXPECT_TRUE(log.stopEventOpen);
    EXPECT_TRUE(worker.IsFinished());
    EXPECT_FALSE(EventExists(name)) << "the stop event outlived the task";

    // A second start runs the task again under a fresh event.
    worker.Start(HonourStop, &log, 0);
    while (log.runs < 2)
        Sleep(5);
    worker.Stop();
    EXPECT_EQ(log.runs, 2);
}

TEST(XWorkerThread, TaskIgnoringTheStopIsSuspendedAfterTheTimeoutAndResumedByTheNextStop)
{
    const uint32_t stopTimeoutMs = 300;
    TaskLog log;
    XWorkerThread worker;
    worker.Start(IgnoreStop, &log, stopTimeoutMs);
    while (log.ticks == 0)
        Sleep(5);

    DWORD start = GetTickCount();
    worker.StopAndWait();
    DWORD waited = GetTickCount() - start;
    EXPECT_TRUE(worker.IsSuspended());
    EXPECT_GE(waited, stopTimeoutMs) << "gave up before the stop timeout";
    EXPECT_FALSE(worker.IsFinished()) << "a suspended task is left behind, not ended";
    int frozenAt = log.ticks;
    Sleep(200);
    EXPECT_EQ(log.ticks, frozenAt) << "the task went on running after its suspension";

    // The next stop resumes it and asks again; this time it listens.
    log.release = true;
    worker.StopAndWait();
    EXPECT_FALSE(worker.IsSuspended());
    EXPECT_TRUE(worker.IsFinished());
    EXPECT_TRUE(log.sawStop) << "the resumed task did not find its stop event set";
    worker.Stop();
}

int EventNumber(const XString& name)
{
    return std::stoi(std::wstring(name.Text()).substr(8));
}

// Every name of the next half second is held by events of the test's own,
// as other installers' starts would hold them; two workers are then
// started at the same moment from two threads, so that they also race
// each other for the first free name.
TEST(XWorkerThread, StartsFindingTheirNameTakenMoveOnToTheNextNumber)
{
    const int taken = 500;
    const int now = static_cast<int>(GetTickCount());
    std::vector<HANDLE> holders;
    for (int n = 0; n <= taken; ++n)
        holders.push_back(CreateEventW(nullptr, TRUE, FALSE, (L"TRDEVTQ-" + std::to_wstring(now + n)).c_str()));

    TaskLog log;
    XWorkerThread workers[2];
    std::atomic<int> ready {0};
    auto startTogether = [&](XWorkerThread& worker) {
        ++ready;
        while (ready < 2)
            ;
        worker.Start(EndAtOnce, &log, 0);
    };
    std::thread first(startTogether, std::ref(workers[0]));
    std::thread second(startTogether, std::ref(workers[1]));
    first.join();
    second.join();
    ASSERT_TRUE(WaitUntilFinished(workers[0]));
    ASSERT_TRUE(WaitUntilFinished(workers[1]));
    XString firstName = workers[0].StopEventName();
    XString secondName = workers[1].StopEventName();
    EXPECT_GT(EventNumber(firstName), now + taken) << firstName.ToNarrow() << " was taken";
    EXPECT_GT(EventNumber(secondName), now + taken) << secondName.ToNarrow() << " was taken";
    EXPECT_NE(EventNumber(firstName), EventNumber(secondName)) << "both starts use " << firstName.ToNarrow();
    EXPECT_EQ(log.runs, 2);
    for (XWorkerThread& worker : workers)
        worker.Stop();
    for (HANDLE holder : holders)
        CloseHandle(holder);
}

std::atomic<int> dispatched {0};

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        ++dispatched;
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST(PumpMessages, DispatchesUntilQuitAndStaysFalseAfterIt)
{
    WNDCLASSW windowClass {};
    windowClass.lpfnWndProc = CountingProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ZeltoPumpTest";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(L"ZeltoPumpTest", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(window);
    dispatched = 0;
    XWorkerThread pump;

    PostMessageW(window, WM_APP, 0, 0);
    PostMessageW(window, WM_APP, 0, 0);
    EXPECT_TRUE(pump.PumpMessages()) << "an empty queue after ordinary messages";
    EXPECT_EQ(dispatched, 2);

    // Posted in line: PostQuitMessage's WM_QUIT would wait for the queue to empty.
    PostMessageW(window, WM_APP, 0, 0);
    PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, 0, 0);
    PostMessageW(window, WM_APP, 0, 0);
    EXPECT_FALSE(pump.PumpMessages());
    EXPECT_EQ(dispatched, 3) << "only the message before WM_QUIT is dispatched";
    EXPECT_FALSE(pump.PumpMessages()) << "the message after WM_QUIT is taken, not dispatched";
    EXPECT_EQ(dispatched, 3);
    EXPECT_FALSE(pump.PumpMessages()) << "an empty queue after WM_QUIT";
    DestroyWindow(window);
}

void HoldUntilReleased(XEvent*, void* data)
{
    auto* pair = static_cast<std::pair<XMutex*, TaskLog*>*>(data);
    pair->first->Lock();
    ++pair->second->runs;
    while (!pair->second->release)
        Sleep(5);
    pair->first->Unlock();
    pair->second->sawStop = true;
}

TEST(XMutex, TryLockFailsWhileAnotherThreadHoldsItAndTheHolderMayTakeItAgain)
{
    XMutex mutex;
    TaskLog log;
    std::pair<XMutex*, TaskLog*> data(&mutex, &log);
    XWorkerThread holder;
    holder.Start(HoldUntilReleased, &data, 0);
    while (log.runs == 0)
        Sleep(5);
    EXPECT_FALSE(mutex.TryLock());

    log.release = true;
    ASSERT_TRUE(WaitUntilFinished(holder));
    EXPECT_TRUE(mutex.TryLock());
    EXPECT_TRUE(mutex.IsLocked());
    mutex.Lock();
    mutex.Unlock();
    EXPECT_FALSE(mutex.IsLocked());
    mutex.Unlock();
    holder.Stop();
}

} // namespace
