// Text conversions for the tests: failure messages are narrow, Windows
// takes wide text.
#pragma once

#include <string>

// UTF-8, for failure messages.
std::string Narrow(const std::wstring& text);
// From UTF-8 (or plain ASCII).
std::wstring Wide(const std::string& text);
std::wstring Quoted(const std::wstring& text);
