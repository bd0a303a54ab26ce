#include "msgbox.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>

namespace {

const WCHAR DialogClass[] = L"#32770";
const int TextControlId = 0xFFFF;
// The icon's static control: id 20 on Windows, stc1 (0x440) on Wine.
const int IconControlIds[] = {0x14, 0x440};
const DWORD PollMs = 20;
const UINT MessageTimeoutMs = 5000;

struct ButtonInfo {
    int id;
    const char* name;
};

const ButtonInfo Buttons[] = {
    {IDOK, "OK"},
    {IDCANCEL, "Cancel"},
    {IDABORT, "Abort"},
    {IDRETRY, "Retry"},
    {IDIGNORE, "Ignore"},
    {IDYES, "Yes"},
    {IDNO, "No"},
    {IDTRYAGAIN, "Try Again"},
    {IDCONTINUE, "Continue"},
};

const char* ButtonName(int id)
{
    for (const ButtonInfo& button : Buttons) {
        if (button.id == id)
            return button.name;
    }
    return "?";
}

const char* IconName(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::None: return "no icon";
    case BoxIcon::Information: return "information icon";
    case BoxIcon::Warning: return "warning icon";
    case BoxIcon::Error: return "error icon";
    case BoxIcon::Question: return "question icon";
    case BoxIcon::Unknown: return "unknown icon";
    }
    return "?";
}

std::string Printed(const std::wstring& text)
{
    return ::testing::PrintToString(text);
}

BoxIcon IconOf(HWND box)
{
    struct Known {
        LPCWSTR resource;
        BoxIcon icon;
    };
    const Known known[] = {
        {IDI_INFORMATION, BoxIcon::Information},
        {IDI_WARNING, BoxIcon::Warning},
        {IDI_ERROR, BoxIcon::Error},
        {IDI_QUESTION, BoxIcon::Question},
    };
    for (int id : IconControlIds) {
        HWND control = GetDlgItem(box, id);
        if (!control || !IsWindowVisible(control))
            continue;
        DWORD_PTR shown = 0;
        SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, MessageTimeoutMs, &shown);
        if (!shown)
            continue;
        // System icons are shared, so the box shows the very handle LoadIcon gives us.
        for (const Known& candidate : known) {
            if (reinterpret_cast<HICON>(shown) == LoadIconW(nullptr, candidate.resource))
                return candidate.icon;
        }
        return BoxIcon::Unknown;
    }
    return BoxIcon::None;
}

struct BoxSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK CheckForBox(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search->processId && WindowClass(window) == DialogClass && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

bool WaitUntilGone(HWND box, DWORD patienceMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(box) && IsWindowVisible(box)) {
        if (GetTickCount() - start > patienceMs)
            return false;
        Sleep(PollMs);
    }
    return true;
}

// A box is found as soon as it is visible, which can be before the thread
// that shows it has filled it in; clicked then, the click may be lost. It
// is ready once that thread has reached the box's message loop (it then
// answers a sent message) and the box shows the same caption and text on
// two looks in a row, as a user would see it settle.
ShownBox WaitUntilReady(HWND box, DWORD patienceMs)
{
    ShownBox last;
    DWORD start = GetTickCount();
    for (bool first = true;; first = false) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(box, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, MessageTimeoutMs, &ignored);
        ShownBox seen = Inspect(box);
        bool filledIn = !seen.caption.empty() && GetDlgItem(box, TextControlId) != nullptr;
        if ((filledIn && !first && seen == last) || GetTickCount() - start > patienceMs || !IsWindow(box))
            return seen;
        last = seen;
        Sleep(PollMs);
    }
}

// As a user would: a click on the button itself.
bool Click(HWND box, int button)
{
    HWND control = GetDlgItem(box, button);
    if (!control || !IsWindowVisible(control))
        return false;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(control, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, MessageTimeoutMs, &ignored);
    return true;
}

std::string Describe(const ShownBox& box)
{
    std::ostringstream text;
    PrintTo(box, &text);
    return text.str();
}

// OK, or whatever else ends the box without a decision.
bool Dismiss(HWND box)
{
    return Click(box, IDOK) || Click(box, IDCANCEL) || Click(box, IDNO);
}

} // namespace

std::wstring WindowText(HWND window)
{
    if (!window)
        return L"";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, MessageTimeoutMs, &length))
        return L"";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
        MessageTimeoutMs, &copied);
    text.resize(copied);
    return text;
}

std::wstring WindowClass(HWND window)
{
    WCHAR name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

HWND FindMessageBox(DWORD processId)
{
    BoxSearch search {processId, nullptr};
    EnumWindows(CheckForBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

ShownBox Inspect(HWND box)
{
    ShownBox seen;
    seen.caption = WindowText(box);
    seen.text = WindowText(GetDlgItem(box, TextControlId));
    for (const ButtonInfo& button : Buttons) {
        HWND control = GetDlgItem(box, button.id);
        if (control && IsWindowVisible(control))
            seen.buttons.insert(button.id);
    }
    seen.icon = IconOf(box);
    return seen;
}

bool operator==(const ShownBox& a, const ShownBox& b)
{
    return a.caption == b.caption && a.text == b.text && a.buttons == b.buttons && a.icon == b.icon;
}

void PrintTo(const ShownBox& box, std::ostream* os)
{
    *os << "{caption " << Printed(box.caption) << ", text " << Printed(box.text) << ", buttons";
    const char* separator = " ";
    for (int id : box.buttons) {
        *os << separator << ButtonName(id);
        separator = "/";
    }
    if (box.buttons.empty())
        *os << " none";
    *os << ", " << IconName(box.icon) << "}";
}

BoxAnswerer::BoxAnswerer(std::vector<BoxReply> replies, DWORD patienceMs)
    : replies_(std::move(replies))
    , patienceMs_(patienceMs)
{
    watcher_ = std::thread(&BoxAnswerer::Watch, this);
}

BoxAnswerer::~BoxAnswerer()
{
    if (!finished_)
        Finish();
}

std::vector<ShownBox> BoxAnswerer::Finish()
{
    finished_ = true;
    stop_ = true;
    if (watcher_.joinable())
        watcher_.join();
    if (answered_ < replies_.size() && !gaveUp_) {
        problems_.push_back("expected " + std::to_string(replies_.size()) + " message box(es), "
            + std::to_string(answered_) + " appeared");
    }
    for (const std::string& problem : problems_)
        ADD_FAILURE() << problem;
    problems_.clear();
    return shown_;
}

void BoxAnswerer::Watch()
{
    DWORD waitingSince = GetTickCount();
    while (!stop_) {
        HWND box = FindMessageBox();
        if (box) {
            Answer(box);
            waitingSince = GetTickCount();
            continue;
        }
        if (!gaveUp_ && answered_ < replies_.size() && GetTickCount() - waitingSince > patienceMs_) {
            problems_.push_back("message box " + std::to_string(answered_ + 1) + " did not appear within "
                + std::to_string(patienceMs_) + " ms");
            gaveUp_ = true;
        }
        Sleep(PollMs);
    }
    // The code under test has returned, so any box still up was shown by
    // something that outlives it; close it so the process can go on.
    const int lastSweeps = 10;
    for (int sweep = 0; sweep < lastSweeps; ++sweep) {
        HWND box = FindMessageBox();
        if (!box)
            break;
        Answer(box);
    }
}

void BoxAnswerer::Answer(HWND box)
{
    ShownBox seen = WaitUntilReady(box, patienceMs_);
    shown_.push_back(seen);
    bool scripted = !gaveUp_ && answered_ < replies_.size();
    bool clicked = false;
    if (scripted) {
        const BoxReply& reply = replies_[answered_++];
        if (reply.meanwhile)
            reply.meanwhile();
        clicked = Click(box, reply.button);
        if (!clicked)
            problems_.push_back(std::string("message box has no ") + ButtonName(reply.button) + " button: "
                + Describe(seen));
    } else {
        problems_.push_back("unexpected message box: " + Describe(seen));
        clicked = Dismiss(box);
    }
    if (!clicked)
        PostMessageW(box, WM_CLOSE, 0, 0);
    if (!WaitUntilGone(box, patienceMs_)) {
        problems_.push_back("message box did not close: " + Describe(seen));
        PostMessageW(box, WM_CLOSE, 0, 0);
        WaitUntilGone(box, patienceMs_);
    }
}

BoxSweeper::BoxSweeper(DWORD processId)
    : processId_(processId)
    , watcher_(&BoxSweeper::Watch, this)
{
}

BoxSweeper::~BoxSweeper()
{
    Finish();
}

std::vector<ShownBox> BoxSweeper::Finish()
{
    stop_ = true;
    if (watcher_.joinable())
        watcher_.join();
    return seen_;
}

void BoxSweeper::Watch()
{
    for (;;) {
        bool stopping = stop_;
        if (HWND box = FindMessageBox(processId_)) {
            seen_.push_back(WaitUntilReady(box, MessageTimeoutMs));
            if (!Dismiss(box))
                PostMessageW(box, WM_CLOSE, 0, 0);
            WaitUntilGone(box, MessageTimeoutMs);
            continue;
        }
        if (stopping)
            return;
        Sleep(PollMs);
    }
}

BoxDismisser* BoxDismisser::active_ = nullptr;

BoxDismisser::BoxDismisser()
    : hook_(SetWindowsHookExW(WH_CBT, OnWindowEvent, nullptr, GetCurrentThreadId()))
{
    if (!hook_)
        ADD_FAILURE() << "cannot watch this thread's windows";
    active_ = this;
}

BoxDismisser::~BoxDismisser()
{
    if (hook_)
        UnhookWindowsHookEx(hook_);
    active_ = nullptr;
}

LRESULT CALLBACK BoxDismisser::OnWindowEvent(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = reinterpret_cast<HWND>(wParam);
    // Wine also reports the activation of other processes' windows here.
    bool ours = GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
    if (active_ && ours && code == HCBT_ACTIVATE && WindowClass(window) == DialogClass && window != active_->lastBox_) {
        active_->lastBox_ = window;
        active_->seen_.push_back(Inspect(window));
        int button = GetDlgItem(window, IDOK) ? IDOK : IDCANCEL;
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, button)));
    }
    if (active_ && code == HCBT_DESTROYWND && window == active_->lastBox_)
        active_->lastBox_ = nullptr;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
