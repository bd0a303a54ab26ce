#include "script/scriptreader.h"

bool IsHeader(const XString& line, const char* header)
{
    const WCHAR* text = line.Text();
    int i = 0;
    for (; header[i]; ++i) {
        if (text[i] != static_cast<WCHAR>(static_cast<unsigned char>(header[i])))
            return false;
    }
    return text[i] == 0;
}

ScriptReader::ScriptReader(const WCHAR* path) : file_(path)
{
    file_.Open(GENERIC_READ, OPEN_EXISTING, false);
}

bool ScriptReader::NextLine(XString& line)
{
    if (!file_.IsOpen()) {
        line.Assign(L"");
        return false;
    }
    if (file_.ReadLine(line, false))
        return true;
    // Nothing more comes from this file; let go of it now rather than when
    // the reader goes out of scope.
    file_.Close();
    return false;
}

XString ScriptReader::ReadValue()
{
    XString value;
    NextLine(value);
    return value;
}

void ScriptReader::ReadValues(XString* values, int count)
{
    for (int i = 0; i < count; ++i)
        values[i] = ReadValue();
}
