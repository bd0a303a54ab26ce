// Reading rules of the setup script "setup.dat" and of the uninstall record,
// which has the same format. There is no model of the script: each reader
// opens the file, walks it from the top, takes a line that is exactly one of
// the headers it knows as the start of that section, reads the section's
// fixed number of value lines by position and acts on them. Every other line
// is passed over, including the value lines of sections the reader does not
// know.
#pragma once

#include "core/xfile.h"
#include "core/xstring.h"
#include "script/scriptsections.h"

// True when the whole line is the header text; nothing is trimmed or folded.
bool IsHeader(const XString& line, const char* header);
inline bool IsHeader(const XString& line, const ScriptSection& section) { return IsHeader(line, section.header); }

// One pass over a script file, line by line from the top. A file that cannot
// be opened reads as an empty one; nobody reports it.
class ScriptReader {
public:
    explicit ScriptReader(const WCHAR* path);
    ScriptReader(const ScriptReader&) = delete;
    ScriptReader& operator=(const ScriptReader&) = delete;

    // The next line without its line end; false at the end of the file.
    bool NextLine(XString& line);

    // The next value line of the section being read. Lines missing at the
    // end of the file read as empty text, so a cut-short section still
    // yields all its values.
    XString ReadValue();
    // The first `count` value lines, into values[0] .. values[count - 1].
    void ReadValues(XString* values, int count);

    void Close() { file_.Close(); }

private:
    XFile file_;
};
