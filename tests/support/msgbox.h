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
