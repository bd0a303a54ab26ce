#include "script/scriptreader.h"

#include "testfiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Occurrence {
    std::wstring header;
    std::vector<std::wstring> values;
};

// The smallest reader there is: it knows some sections and records each
// occurrence with its values in file order.
std::vector<Occurrence> ReadSections(const std::wstring& path, const std::vector<ScriptSection>& known)
{
    std::vector<Occurrence> found;
    ScriptReader script(path.c_str());
    XString line;
    while (script.NextLine(line)) {
        for (const ScriptSection& section : known) {
            if (!IsHeader(line, section))
                continue;
            Occurrence occurrence {XString(section.header).Text(), {}};
            XString values[MaxValueLines];
            script.ReadValues(values, section.valueLines);
            for (int i = 0; i < section.valueLines; ++i)
                occurrence.values.push_back(values[i].Text());
            found.push_back(occurrence);
            break;
        }
    }
    return found;
}

// One occurrence per line, values separated by '|', so a failure shows
// exactly where two readings part.
std::wstring Render(const std::vector<Occurrence>& occurrences)
{
    std::wstring text;
    for (const Occurrence& o : occurrences) {
        text += o.header + L" {";
        for (size_t i = 0; i < o.values.size(); ++i)
            text += (i ? L"|" : L"") + o.values[i];
        text += L"}\n";
    }
    return text;
}

// Holds every section once or more, and the lines that trip up a careless
// reader: a header with a trailing space, one in the wrong case, a value that
// looks like a header, a blank line that shifts values, a repeated project
// name, and a registry entry cut short by the end of the file.
const std::vector<std::string> ExampleScript = {
    "[Project Name]",
    "Example Viewer",
    "[ProgramVersion]",
    "2.4",
    "[Install To] ",
    "<Program Files>Wrong\\",
    "[Install To]",
    "<Program Files>Example Viewer\\",
    "",
    "[UninstallSettings]",
    "Example Software",
    "[SaveInstallPath]",
    "ExampleViewerPath",
    "[LocateInstall]",
    "<Start Programs>Example Viewer.lnk",
    "[NoUnInstall]",
    "[NoOfferUninstallOld]",
    "[NoTestAdmin]",
    "[Windows Version]",
    "4",
    "free text between sections",
    "[Action]",
    "[CopyFile]",
    "[copyfile]",
    "wrong.exe",
    "<Destination>wrong.exe",
    "[CopyFile]",
    "viewer.exe",
    "<Destination>viewer.exe",
    "[CreateIcon]",
    "<Destination>viewer.exe",
    "<Start Programs>Example Viewer.lnk",
    "",
    "Start menu entry",
    "[RunAndWaitFile]",
    "<TempInstall>prereq.exe",
    "/quiet",
    "Installing prerequisites",
    "[RunFile]",
    "",
    "<Destination>viewer.exe",
    "",
    "Optional - Run Example Viewer",
    "[Message]",
    "Installed.\\nEnjoy.",
    "Information",
    "[InstallContainer]",
    "[UninstallAction]",
    "<Destination>cleanup.exe",
    "/all",
    "[Project Name]",
    "Example Viewer Pro",
    "[Registry]",
    "HKLM",
    "Software\\ZeltoTest\\ScriptReader",
};

std::vector<ScriptSection> AllSections()
{
    return std::vector<ScriptSection>(std::begin(ScriptSections), std::end(ScriptSections));
}

struct LineEndForm {
    const char* name;
    const char* end;
    bool endsLastLine;
};

const LineEndForm LineEndForms[] = {
    {"CR LF", "\r\n", true},
    {"CR LF, last line open", "\r\n", false},
    {"LF", "\n", true},
    {"LF, last line open", "\n", false},
    {"CR", "\r", true},
    {"CR, last line open", "\r", false},
};

std::string Join(const std::vector<std::string>& lines, const LineEndForm& form)
{
    std::string bytes;
    for (size_t i = 0; i < lines.size(); ++i) {
        bytes += lines[i];
        if (i + 1 < lines.size() || form.endsLastLine)
            bytes += form.end;
    }
    return bytes;
}

TEST(ScriptReader, ReadersFindTheirSectionsInFileOrderWhateverTheLineEnds)
{
    struct Case {
        const char* reader;
        std::vector<ScriptSection> known;
        std::vector<Occurrence> expected;
    };
    const Case cases[] = {
        {"every section", AllSections(),
            {
                {L"[Project Name]", {L"Example Viewer"}},
                {L"[ProgramVersion]", {L"2.4"}},
                {L"[Install To]", {L"<Program Files>Example Viewer\\"}},
                {L"[UninstallSettings]", {L"Example Software"}},
                {L"[SaveInstallPath]", {L"ExampleViewerPath"}},
                {L"[LocateInstall]", {L"<Start Programs>Example Viewer.lnk"}},
                {L"[NoUnInstall]", {}},
                {L"[NoOfferUninstallOld]", {}},
                {L"[NoTestAdmin]", {}},
                {L"[Windows Version]", {L"4"}},
                {L"[Action]", {L"[CopyFile]"}},
                {L"[CopyFile]", {L"viewer.exe", L"<Destination>viewer.exe"}},
                {L"[CreateIcon]",
                    {L"<Destination>viewer.exe", L"<Start Programs>Example Viewer.lnk", L"", L"Start menu entry"}},
                {L"[RunAndWaitFile]", {L"<TempInstall>prereq.exe", L"/quiet", L"Installing prerequisites"}},
                {L"[RunFile]", {L"", L"<Destination>viewer.exe", L""}},
                {L"[Message]", {L"Installed.\\nEnjoy.", L"Information"}},
                {L"[InstallContainer]", {}},
                {L"[UninstallAction]", {L"<Destination>cleanup.exe", L"/all"}},
                {L"[Project Name]", {L"Example Viewer Pro"}},
                {L"[Registry]", {L"HKLM", L"Software\\ZeltoTest\\ScriptReader", L"", L"", L""}},
            }},
        // Knows no "[Action]", so that section's value is a header to it.
        {"copy counting", {SectionCopyFile},
            {
                {L"[CopyFile]", {L"[copyfile]", L"wrong.exe"}},
                {L"[CopyFile]", {L"viewer.exe", L"<Destination>viewer.exe"}},
            }},
        {"container", {SectionInstallContainer, SectionMessage},
            {
                {L"[Message]", {L"Installed.\\nEnjoy.", L"Information"}},
                {L"[InstallContainer]", {}},
            }},
        {"project name only", {SectionProjectName},
            {
                {L"[Project Name]", {L"Example Viewer"}},
                {L"[Project Name]", {L"Example Viewer Pro"}},
            }},
    };

    ScratchFolder folder;
    for (const LineEndForm& form : LineEndForms) {
        std::wstring path = folder / L"setup.dat";
        WriteBytes(path, Join(ExampleScript, form));
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.reader) + " reader, line ends " + form.name);
            EXPECT_EQ(Render(ReadSections(path, c.known)), Render(c.expected));
        }
    }
}

TEST(ScriptReader, OnlyTheExactHeaderTextIsAHeader)
{
    struct Case {
        const WCHAR* line;
        bool isHeader;
    };
    const Case cases[] = {
        {L"[CopyFile]", true},
        {L"[CopyFile] ", false},
        {L" [CopyFile]", false},
        {L"[copyfile]", false},
        {L"[COPYFILE]", false},
        {L"[CopyFile", false},
        {L"[CopyFile]x", false},
        {L"", false},
    };
    for (const Case& c : cases) {
        XString line(c.line);
        EXPECT_EQ(IsHeader(line, SectionCopyFile), c.isHeader) << "line \"" << std::wstring(c.line) << "\"";
    }
}

TEST(ScriptReader, AScriptThatCannotBeOpenedReadsAsEmpty)
{
    ScratchFolder folder;
    ScriptReader script((folder / L"missing.dat").c_str());
    XString line(L"left over");
    EXPECT_FALSE(script.NextLine(line));
    EXPECT_TRUE(line.IsEmpty());
    XString values[MaxValueLines];
    values[0] = XString(L"left over");
    script.ReadValues(values, 2);
    EXPECT_TRUE(values[0].IsEmpty());
    EXPECT_TRUE(values[1].IsEmpty());
}

TEST(ScriptReader, ReadingToTheEndLetsGoOfTheFile)
{
    ScratchFolder folder;
    std::wstring path = folder / L"setup.dat";
    WriteBytes(path, "[Project Name]\r\nExample Viewer\r\n");
    ScriptReader script(path.c_str());
    XString line;
    while (script.NextLine(line)) {
    }
    // An open handle without delete sharing would keep the file in place.
    EXPECT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_FALSE(script.NextLine(line));
}

} // namespace
