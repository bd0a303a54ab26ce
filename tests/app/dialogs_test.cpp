// The runtime's dialog templates, made into real windows by the dialog
// manager straight from zelto-setup.exe's resources.
#include "res/dialogs.h"

#include "msgbox.h"
#include "process.h"
#include "text.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace {

struct ExpectedControl {
    int id;
    const wchar_t* windowClass;
    const wchar_t* text;
    RECT units; // left, top, width, height in dialog units
    DWORD styleBits; // must all be set
    bool visible;
};

struct ExpectedDialog {
    int id;
    SIZE units;
    DWORD styleBits;
    std::vector<ExpectedControl> controls;
};

INT_PTR CALLBACK QuietDialog(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

TEST(DialogTemplates, EachDialogHasItsSizeStyleAndControls)
{
    INITCOMMONCONTROLSEX controls {sizeof controls, ICC_PROGRESS_CLASS | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    std::wstring setup = ProgramFolder() + L"zelto-setup.exe";
    HMODULE module = LoadLibraryExW(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(module) << "cannot load " << Narrow(setup);

    const DWORD popup = WS_POPUP | WS_VISIBLE;
    const ExpectedDialog dialogs[] = {
        {IDD_INSTALL, {399, 238}, popup | WS_SYSMENU,
            {{IDC_PROGRESS, L"msctls_progress32", L"", {25, 116, 348, 14}, 0, false},
                {IDC_INSTALL, L"Button", L"Install", {320, 211, 54, 16}, 0, true},
                {IDC_INSTALL_CANCEL, L"Button", L"Cancel", {263, 211, 54, 16}, 0, true},
                {IDC_FOLDER, L"Edit", L"", {25, 116, 306, 14}, ES_READONLY | ES_AUTOHSCROLL, true},
                {IDC_CHOOSE, L"Button", L"Choose", {331, 116, 42, 15}, 0, true},
                {IDC_LICENSE_LINK, L"SysLink", L"<a>Read License Agreement</a>", {27, 171, 108, 14}, 0, false}}},
        {IDD_LICENSE, {399, 268}, popup,
            {{IDOK, L"Button", L"Close", {175, 243, 50, 14}, WS_TABSTOP | BS_DEFPUSHBUTTON, true},
                {IDC_LICENSE_TEXT, L"Edit", L"", {25, 39, 348, 193},
                    ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, true}}},
        {IDD_CONTAINER, {316, 144}, popup, {{IDCANCEL, L"Button", L"Cancel", {133, 123, 50, 14}, 0, true}}},
        {IDD_UNINSTALL, {399, 238}, popup,
            {{IDOK, L"Button", L"Uninstall", {320, 211, 54, 16}, BS_DEFPUSHBUTTON, true},
                {IDCANCEL, L"Button", L"Cancel", {263, 211, 54, 16}, 0, true},
                {IDC_PROGRESS, L"msctls_progress32", L"", {25, 116, 348, 14}, 0, false}}},
        {IDD_FOCUS, {316, 144}, popup, {}},
    };
    for (const ExpectedDialog& d : dialogs) {
        HWND dialog = CreateDialogParamW(module, MAKEINTRESOURCEW(d.id), nullptr, QuietDialog, 0);
        ASSERT_TRUE(dialog) << "template " << d.id << " did not make a window";
        LONG style = GetWindowLongW(dialog, GWL_STYLE);
        EXPECT_EQ(style & d.styleBits, static_cast<LONG>(d.styleBits)) << "template " << d.id;
        EXPECT_EQ(style & WS_CAPTION, 0) << "template " << d.id << " has a title bar";
        RECT size {0, 0, d.units.cx, d.units.cy};
        MapDialogRect(dialog, &size);
        RECT client {};
        GetClientRect(dialog, &client);
        EXPECT_EQ(client.right, size.right) << "template " << d.id << " width";
        EXPECT_EQ(client.bottom, size.bottom) << "template " << d.id << " height";

        int children = 0;
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            ++children;
        EXPECT_EQ(children, static_cast<int>(d.controls.size())) << "template " << d.id << " control count";
        for (const ExpectedControl& c : d.controls) {
            HWND control = GetDlgItem(dialog, c.id);
            ASSERT_TRUE(control) << "template " << d.id << " has no control " << c.id;
            const std::string where = "template " + std::to_string(d.id) + ", control " + std::to_string(c.id);
            EXPECT_EQ(_wcsicmp(WindowClass(control).c_str(), c.windowClass), 0) << where << ": " << Narrow(WindowClass(control));
            if (WindowClass(control) != L"SysLink") {
                EXPECT_EQ(WindowText(control), c.text) << where;
            }
            LONG controlStyle = GetWindowLongW(control, GWL_STYLE);
            EXPECT_EQ(controlStyle & c.styleBits, static_cast<LONG>(c.styleBits)) << where << " style";
            EXPECT_EQ((controlStyle & WS_VISIBLE) != 0, c.visible) << where << " visibility";
            // The progress bar keeps no trace of its template border once
            // created, so only the edit boxes are checked for theirs.
            if (c.windowClass == std::wstring(L"Edit")) {
                LONG extended = GetWindowLongW(control, GWL_EXSTYLE);
                EXPECT_TRUE((controlStyle & WS_BORDER) || (extended & (WS_EX_STATICEDGE | WS_EX_CLIENTEDGE)))
                    << where << " has no border";
            }
            // The dialog manager converts position and size apart.
            RECT position {c.units.left, c.units.top, c.units.right, c.units.bottom};
            MapDialogRect(dialog, &position);
            RECT actual {};
            GetWindowRect(control, &actual);
            MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&actual), 2);
            EXPECT_EQ(actual.left, position.left) << where << " x";
            EXPECT_EQ(actual.top, position.top) << where << " y";
            EXPECT_EQ(actual.right - actual.left, position.right) << where << " width";
            EXPECT_EQ(actual.bottom - actual.top, position.bottom) << where << " height";
        }
        DestroyWindow(dialog);
    }
    FreeLibrary(module);
}

} // namespace
