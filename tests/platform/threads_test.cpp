// Whether this platform runs the threads our programs start. Every test
// program starts threads (workers, message-box answerers, the tooltip
// poller), and where the 32-bit Windows loader runs under user-mode
// emulation an emulator that mishandles threads starting together would
// make every later test fail now and then for no fault of ours. This
// program fails first and plainly instead.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int Rounds = 200;
constexpr int ThreadsPerRound = 8;
constexpr DWORD RoundPatienceMs = 60000;

// A result only the whole computation gives: a sum over a buffer the
// thread fills itself, mixed with its own number.
uint32_t ExpectedWork(uint32_t seed)
{
    uint32_t sum = seed;
    for (uint32_t i = 0; i < 20000; ++i)
        sum = sum * 31 + ((seed + i) ^ (i >> 3));
    return sum;
}

thread_local uint32_t threadSeed = 0;

struct Slot {
    uint32_t seed = 0;
    uint32_t result = 0;
    DWORD threadId = 0;
    bool eventWorked = false;
};

// What each thread does: heap, thread-local storage, a kernel object and
// arithmetic, the things every one of our threads touches.
void DoWork(Slot& slot)
{
    threadSeed = slot.seed;
    std::vector<uint32_t> buffer(20000);
    for (uint32_t i = 0; i < buffer.size(); ++i)
        buffer[i] = (threadSeed + i) ^ (i >> 3);
    uint32_t sum = threadSeed;
    for (uint32_t value : buffer)
        sum = sum * 31 + value;
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    slot.eventWorked = event && SetEvent(event) && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    if (event)
        CloseHandle(event);
    slot.threadId = GetCurrentThreadId();
    slot.result = sum;
}

DWORD WINAPI WindowsThread(void* param)
{
    DoWork(*static_cast<Slot*>(param));
    return 0;
}

std::string RoundReport(int round, const std::vector<Slot>& slots)
{
    std::string report;
    for (size_t i = 0; i < slots.size(); ++i) {
        const Slot& slot = slots[i];
        if (slot.result != ExpectedWork(slot.seed))
            report += " thread " + std::to_string(i) + " computed a wrong result;";
        if (!slot.eventWorked)
            report += " thread " + std::to_string(i) + " could not use an event;";
        for (size_t j = 0; j < i; ++j) {
            if (slot.threadId == slots[j].threadId)
                report += " threads " + std::to_string(j) + " and " + std::to_string(i) + " share an id;";
        }
    }
    return report.empty() ? report : "round " + std::to_string(round) + ":" + report;
}

// Half the threads through the Windows call, half through the C++ library
// (its own thread layer on top), all started back to back so that their
// start-ups overlap.
TEST(Platform, ThreadsStartedTogetherAllDoTheirWork)
{
    for (int round = 0; round < Rounds; ++round) {
        std::vector<Slot> slots(ThreadsPerRound);
        for (int i = 0; i < ThreadsPerRound; ++i)
            slots[i].seed = static_cast<uint32_t>(round * ThreadsPerRound + i + 1);
        std::vector<HANDLE> windowsThreads;
        std::vector<std::thread> libraryThreads;
        for (int i = 0; i < ThreadsPerRound; ++i) {
            if (i % 2 == 0) {
                HANDLE thread = CreateThread(nullptr, 0, WindowsThread, &slots[i], 0, nullptr);
                ASSERT_NE(thread, nullptr) << "round " << round << ": thread " << i << " was not created";
                windowsThreads.push_back(thread);
            } else {
                libraryThreads.emplace_back(DoWork, std::ref(slots[i]));
            }
        }
        for (std::thread& thread : libraryThreads)
            thread.join();
        DWORD waited = WaitForMultipleObjects(static_cast<DWORD>(windowsThreads.size()), windowsThreads.data(), TRUE,
            RoundPatienceMs);
        for (HANDLE thread : windowsThreads)
            CloseHandle(thread);
        ASSERT_LT(waited, WAIT_OBJECT_0 + windowsThreads.size()) << "round " << round << ": threads did not end";
        std::string report = RoundReport(round, slots);
        ASSERT_TRUE(report.empty()) << report;
    }
}

} // namespace
