// What the finish page's rows start, and the count the wizard follows; the
// restart is asked of a stand-in, never of the machine running the tests.
#include "engine/finishactions.h"

#include "app/handback.h"
#include "app/restart.h"
#include "enginekit.h"
#include "script/installsettings.h"
#include "settingsscope.h"
#include "testfiles.h"
#include "text.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// Notes each call, and the finish counter at that moment.
class RecordingShutdown : public ShutdownCalls {
public:
    explicit RecordingShutdown(bool hasNewerCall) : hasNewerCall_(hasNewerCall) {}

    bool HasInitiateShutdown() override { return hasNewerCall_; }
    DWORD AskInitiateShutdown(const WCHAR* message, DWORD gracePeriod, DWORD flags, DWORD reason) override
    {
        calls.push_back(L"InitiateShutdownW '" + std::wstring(message) + L"' " + std::to_wstring(gracePeriod) + L" s, flags "
            + std::to_wstring(flags) + L", reason " + std::to_wstring(reason));
        counterAtCall = Settings().finishCounter;
        return ERROR_SUCCESS;
    }
    BOOL AskInitiateSystemShutdown(const WCHAR* message, DWORD timeout, BOOL forceAppsClosed, BOOL reboot) override
    {
        calls.push_back(L"InitiateSystemShutdownW '" + std::wstring(message) + L"' " + std::to_wstring(timeout)
            + L" s, force " + std::to_wstring(forceAppsClosed) + L", reboot " + std::to_wstring(reboot));
        counterAtCall = Settings().finishCounter;
        return TRUE;
    }

    std::vector<std::wstring> calls;
    int counterAtCall = -1;

private:
    bool hasNewerCall_;
};

class ShutdownStandIn {
public:
    explicit ShutdownStandIn(RecordingShutdown& calls) { UseShutdownCalls(&calls); }
    ~ShutdownStandIn() { UseShutdownCalls(nullptr); }
    ShutdownStandIn(const ShutdownStandIn&) = delete;
    ShutdownStandIn& operator=(const ShutdownStandIn&) = delete;
};

const wchar_t NewerCall[] = L"InitiateShutdownW 'System Restarting in 40 seconds' 40 s, flags 132, reason 196610";
const wchar_t OlderCall[] = L"InitiateSystemShutdownW 'System Restarting in 30 seconds' 30 s, force 0, reboot 1";

struct RestartCase {
    const char* name;
    bool silent;
    bool autoReboot;
    bool hasNewerCall;
    std::vector<std::wstring> calls;
};

TEST(RestartWindows, AsksWindowsOnceWithTheTextAndTimeOfTheCallItHasUnlessSilentWithoutAutoReboot)
{
    const RestartCase cases[] = {
        {"interactive", false, true, true, {NewerCall}},
        {"interactive with --noautoreboot", false, false, true, {NewerCall}},
        {"silent", true, true, true, {NewerCall}},
        {"silent with --noautoreboot", true, false, true, {}},
        {"Windows before Vista", false, true, false, {OlderCall}},
    };
    for (const RestartCase& c : cases) {
        SettingsScope restore;
        Settings().silent = c.silent;
        Settings().autoReboot = c.autoReboot;
        RecordingShutdown windows(c.hasNewerCall);
        ShutdownStandIn standIn(windows);
        // On a thread of its own, as the finish worker calls it: it ends
        // the calling thread's message loop.
        std::thread([] { RestartWindows(); }).join();
        EXPECT_EQ(windows.calls, c.calls) << c.name;
    }
}

class FinishActionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Settings().installFolder.Assign(folder.c_str());
        Settings().handBackPath.Assign((scratch / L"handback.tmp").c_str());
        Settings().finishCounter = 0;
        CreateDirectoryW(folder.c_str(), nullptr);
        WriteBytes(folder + L"app.exe", "program");
    }

    void AddShortcut(const wchar_t* file, bool ticked)
    {
        OptionalShortcutItem* item = Settings().AddOptionalShortcut();
        item->ticked = ticked;
        item->shortcutFile.Assign(file);
        item->target.Assign(L"<Destination>app.exe");
        item->arguments.Assign(L"--from-finish");
    }
    void AddProgram(const wchar_t* arguments, bool ticked, bool wait)
    {
        OptionalProgramItem* item = Settings().AddOptionalProgram();
        item->ticked = ticked;
        item->program.Assign(Program(L"recorder.exe").c_str());
        item->arguments.Assign(arguments);
        item->wait = wait;
    }

    SettingsScope restore;
    ScratchFolder scratch;
    const std::wstring folder = scratch / L"Install\\";
};

// The counter runs through the rows in the finish list's order; the
// program row is handed back with waiting, so while it waits the counter
// shows the shortcut row done and nothing more.
TEST_F(FinishActionsTest, EveryRowIsCountedInOrderTickedOrNot)
{
    AddShortcut(L"<Destination>Ticked.lnk", true);
    AddShortcut(L"<Destination>Unticked.lnk", false);
    AddProgram(L"--ticked", true, true);
    AddProgram(L"--unticked", false, false);
    RecordingShutdown windows(true);
    ShutdownStandIn standIn(windows);
    bool restart = true;
    int counterWhileHandedBack = -1;
    std::vector<Block> blocks = RunReplayingHandBack([&] { RunFinishActions(nullptr, &restart); },
        // As the wizard's timer reads it, from another thread.
        [&](const Block&) { counterWhileHandedBack = Settings().finishCounter; });
    EXPECT_TRUE(FileExists(folder + L"Ticked.lnk"));
    EXPECT_FALSE(FileExists(folder + L"Unticked.lnk"));
    EXPECT_EQ(blocks, (std::vector<Block> {{L"[run]", Program(L"recorder.exe"), L"--ticked", L"1"}}))
        << "only the ticked program, handed back with waiting";
    EXPECT_EQ(counterWhileHandedBack, 2) << "while the program waits, the two shortcut rows are done";
    EXPECT_EQ(windows.calls, std::vector<std::wstring> {NewerCall});
    EXPECT_EQ(windows.counterAtCall, 4) << "the restart comes after the four item rows";
    EXPECT_EQ(Settings().finishCounter, 5);
}

TEST_F(FinishActionsTest, WithoutTheRestartRowTheCounterEndsAtTheNumberOfItems)
{
    AddShortcut(L"<Destination>One.lnk", true);
    AddProgram(L"--unticked", false, false);
    RecordingShutdown windows(true);
    ShutdownStandIn standIn(windows);
    bool restart = false;
    RunFinishActions(nullptr, &restart);
    EXPECT_TRUE(windows.calls.empty());
    EXPECT_EQ(Settings().finishCounter, 2);
}

} // namespace
