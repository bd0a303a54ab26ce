// Message boxes answered the way a user would: a background thread finds
// each box this test process shows, notes its caption, text, buttons and
// icon, and clicks the button the test scripted for it.
//
//     BoxAnswerer user({Press(IDRETRY), Press(IDCANCEL)});
//     file.Open(GENERIC_READ, OPEN_EXISTING, true);
//     EXPECT_EQ(user.Finish(), (std::vector<ShownBox>{box, box}));
//
// A scripted box that never appears, a box nobody scripted (it is closed
// so the test cannot hang) and a box that will not go away are reported as
// test failures by Finish.
//
// For runs with boxes nobody scripts one by one, BoxSweeper answers every
// box of another process, and BoxDismisser every box of this thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <iosfwd>
#include <set>
#include <string>
#include <thread>
#include <vector>

enum class BoxIcon { None, Information, Warning, Error, Question, Unknown };

struct ShownBox {
    std::wstring caption;
    std::wstring text;
    std::set<int> buttons; // IDOK, IDCANCEL, IDRETRY, ...
    BoxIcon icon = BoxIcon::None;
};

bool operator==(const ShownBox& a, const ShownBox& b);
void PrintTo(const ShownBox& box, std::ostream* os);

// Text of any window, also of one whose thread sits in a box's modal loop;
// a thread that does not answer gives empty text instead of a hang.
std::wstring WindowText(HWND window);
std::wstring WindowClass(HWND window);

// The message box a process shows at the moment, if any.
HWND FindMessageBox(DWORD processId = GetCurrentProcessId());
// What the box shows: caption, text, buttons and icon.
ShownBox Inspect(HWND box);

inline const std::set<int> RetryCancelButtons {IDRETRY, IDCANCEL};
inline const std::set<int> OkButton {IDOK};

// One step of the user's script: what the user does while the box is up
// (say, closes the program that held the file), then the button pressed.
struct BoxReply {
    int button;
    std::function<void()> meanwhile;
};

inline BoxReply Press(int button, std::function<void()> meanwhile = {})
{
    return BoxReply {button, std::move(meanwhile)};
}

class BoxAnswerer {
public:
    // patienceMs bounds each wait: for the next scripted box and for an
    // answered box to close.
    explicit BoxAnswerer(std::vector<BoxReply> replies, DWORD patienceMs = 15000);
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    // Call once the code under test has returned: every box it showed has
    // been answered by then. Returns the boxes in the order they appeared.
    std::vector<ShownBox> Finish();

private:
    void Watch();
    void Answer(HWND box);

    std::vector<BoxReply> replies_;
    DWORD patienceMs_;
    std::atomic<bool> stop_ {false};
    std::thread watcher_;
    bool finished_ = false;

    // Written by the watcher, read only after it has been joined.
    size_t answered_ = 0;
    bool gaveUp_ = false;
    std::vector<ShownBox> shown_;
    std::vector<std::string> problems_;
};

// Answers every message box another process shows with OK (or Cancel, or
// No), and notes what each showed.
class BoxSweeper {
public:
    explicit BoxSweeper(DWORD processId);
    ~BoxSweeper();
    BoxSweeper(const BoxSweeper&) = delete;
    BoxSweeper& operator=(const BoxSweeper&) = delete;

    // Stops watching (after closing any box still up) and returns what was seen.
    std::vector<ShownBox> Finish();

private:
    void Watch();

    DWORD processId_;
    std::atomic<bool> stop_ {false};
    std::vector<ShownBox> seen_;
    std::thread watcher_;
};

// Closes every message box this thread shows the moment it appears, with
// OK (or Cancel), from inside the thread itself: a hook on the thread's
// window activations, so thousands of boxes go by without a second thread
// polling for them.
class BoxDismisser {
public:
    BoxDismisser();
    ~BoxDismisser();
    BoxDismisser(const BoxDismisser&) = delete;
    BoxDismisser& operator=(const BoxDismisser&) = delete;

    const std::vector<ShownBox>& Seen() const { return seen_; }

private:
    static LRESULT CALLBACK OnWindowEvent(int code, WPARAM wParam, LPARAM lParam);

    static BoxDismisser* active_;
    HHOOK hook_;
    HWND lastBox_ = nullptr;
    std::vector<ShownBox> seen_;
};
