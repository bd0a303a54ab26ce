// The sections of the setup script "setup.dat" (and of the uninstall
// record, which has the same format): each header text and the number of
// value lines that follow it. Shared by the installer, which reads scripts,
// and the packer, which checks them; plain C++ without Windows headers.
#pragma once

// A header is a line whose whole text is exactly this: same case, same
// spaces, nothing around it. The header texts are ASCII.
struct ScriptSection {
    const char* header;
    int valueLines;
};

constexpr int MaxValueLines = 5;

constexpr ScriptSection SectionProjectName {"[Project Name]", 1};
constexpr ScriptSection SectionProgramVersion {"[ProgramVersion]", 1};
constexpr ScriptSection SectionInstallTo {"[Install To]", 1};
constexpr ScriptSection SectionUninstallSettings {"[UninstallSettings]", 1};
constexpr ScriptSection SectionSaveInstallPath {"[SaveInstallPath]", 1};
constexpr ScriptSection SectionLocateInstall {"[LocateInstall]", 1};
constexpr ScriptSection SectionCopyFile {"[CopyFile]", 2};
constexpr ScriptSection SectionNoUnInstall {"[NoUnInstall]", 0};
constexpr ScriptSection SectionNoOfferUninstallOld {"[NoOfferUninstallOld]", 0};
constexpr ScriptSection SectionNoTestAdmin {"[NoTestAdmin]", 0};
constexpr ScriptSection SectionWindowsVersion {"[Windows Version]", 1};
constexpr ScriptSection SectionAction {"[Action]", 1};
constexpr ScriptSection SectionCreateIcon {"[CreateIcon]", 4};
constexpr ScriptSection SectionRunAndWaitFile {"[RunAndWaitFile]", 3};
constexpr ScriptSection SectionRunFile {"[RunFile]", 3};
constexpr ScriptSection SectionMessage {"[Message]", 2};
constexpr ScriptSection SectionRegistry {"[Registry]", 5};
constexpr ScriptSection SectionInstallContainer {"[InstallContainer]", 0};
constexpr ScriptSection SectionUninstallAction {"[UninstallAction]", 2};

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

// The marker of a "[RunFile]" or "[RunAndWaitFile]" program that is a
// payload item, run from a temporary copy.
constexpr char TempInstallMarker[] = "<TempInstall>";
