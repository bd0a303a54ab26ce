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

// Header texts, matched exactly: same case, same spaces, nothing around them.
constexpr WCHAR HeaderProjectName[] = L"[Project Name]";
constexpr WCHAR HeaderProgramVersion[] = L"[ProgramVersion]";
constexpr WCHAR HeaderInstallTo[] = L"[Install To]";
constexpr WCHAR HeaderUninstallSettings[] = L"[UninstallSettings]";
constexpr WCHAR HeaderSaveInstallPath[] = L"[SaveInstallPath]";
constexpr WCHAR HeaderLocateInstall[] = L"[LocateInstall]";
constexpr WCHAR HeaderCopyFile[] = L"[CopyFile]";
constexpr WCHAR HeaderNoUnInstall[] = L"[NoUnInstall]";
constexpr WCHAR HeaderNoOfferUninstallOld[] = L"[NoOfferUninstallOld]";
constexpr WCHAR HeaderNoTestAdmin[] = L"[NoTestAdmin]";
constexpr WCHAR HeaderWindowsVersion[] = L"[Windows Version]";
constexpr WCHAR HeaderAction[] = L"[Action]";
constexpr WCHAR HeaderCreateIcon[] = L"[CreateIcon]";
constexpr WCHAR HeaderRunAndWaitFile[] = L"[RunAndWaitFile]";
constexpr WCHAR HeaderRunFile[] = L"[RunFile]";
constexpr WCHAR HeaderMessage[] = L"[Message]";
constexpr WCHAR HeaderRegistry[] = L"[Registry]";
constexpr WCHAR HeaderInstallContainer[] = L"[InstallContainer]";
constexpr WCHAR HeaderUninstallAction[] = L"[UninstallAction]";

struct ScriptSection {
    const WCHAR* header;
    int valueLines;
};

constexpr int MaxValueLines = 5;

constexpr ScriptSection SectionProjectName {HeaderProjectName, 1};
constexpr ScriptSection SectionProgramVersion {HeaderProgramVersion, 1};
constexpr ScriptSection SectionInstallTo {HeaderInstallTo, 1};
constexpr ScriptSection SectionUninstallSettings {HeaderUninstallSettings, 1};
constexpr ScriptSection SectionSaveInstallPath {HeaderSaveInstallPath, 1};
constexpr ScriptSection SectionLocateInstall {HeaderLocateInstall, 1};
constexpr ScriptSection SectionCopyFile {HeaderCopyFile, 2};
constexpr ScriptSection SectionNoUnInstall {HeaderNoUnInstall, 0};
constexpr ScriptSection SectionNoOfferUninstallOld {HeaderNoOfferUninstallOld, 0};
constexpr ScriptSection SectionNoTestAdmin {HeaderNoTestAdmin, 0};
constexpr ScriptSection SectionWindowsVersion {HeaderWindowsVersion, 1};
constexpr ScriptSection SectionAction {HeaderAction, 1};
constexpr ScriptSection SectionCreateIcon {HeaderCreateIcon, 4};
constexpr ScriptSection SectionRunAndWaitFile {HeaderRunAndWaitFile, 3};
constexpr ScriptSection SectionRunFile {HeaderRunFile, 3};
constexpr ScriptSection SectionMessage {HeaderMessage, 2};
constexpr ScriptSection SectionRegistry {HeaderRegistry, 5};
constexpr ScriptSection SectionInstallContainer {HeaderInstallContainer, 0};
constexpr ScriptSection SectionUninstallAction {HeaderUninstallAction, 2};

constexpr ScriptSection ScriptSections[] = {
    SectionProjectName,
    SectionProgramVersion,
    SectionInstallTo,
    SectionUninstallSettings,
    SectionSaveInstallPath,
    SectionLocateInstall,
    SectionCopyFile,
    SectionNoUnInstall,
    SectionNoOfferUninstallOld,
    SectionNoTestAdmin,
    SectionWindowsVersion,
    SectionAction,
    SectionCreateIcon,
    SectionRunAndWaitFile,
    SectionRunFile,
    SectionMessage,
    SectionRegistry,
    SectionInstallContainer,
    SectionUninstallAction,
};

// True when the whole line is the header text; nothing is trimmed or folded.
bool IsHeader(const XString& line, const WCHAR* header);
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
