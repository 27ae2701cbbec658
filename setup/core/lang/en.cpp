// The setup's texts in English.
#include "common/container.h"
#include "common/productentry.h"
#include "setup/core/texts.h"

namespace {

constexpr TextEntry kEntries[] = {
    {kTextTooLong, "The text is too long. Enter at most %d characters."},
    {kTextLoadFailed, "Setup cannot read its installation data. The setup file may be incomplete."},
    {kTextPackageDamaged, "The setup file is damaged. Please download it again."},
    {kTextSheetCaption, "Setup"},
    {kTextNext, "&Next >"},
    {kTextInstall, "&Install"},
    {kTextContinue, "&Continue"},
    {kTextQuit, "E&xit Setup"},
    {kTextQuitNotStarted, "Nothing has been installed yet. Exit Setup?"},
    {kTextQuitStarting, "Setup is ready to install. Exit Setup?"},
    {kTextQuitRunning, "Setup is installing. Stop and exit Setup?"},
    {kTextQuitFinishing, "Setup is almost done. Exit Setup?"},
    {kTextAgree, "I &agree"},
    {kTextDisagree, "I &do not agree"},
    {kTextBrowse, "B&rowse..."},
    {kTextBrowseTitle, "Choose the folder to install into:"},
    {kTextBadDrive, "The drive is not valid."},
    {kTextBadFolder, "The folder is not valid: the folder it belongs in does not exist."},
    {kTextFloppy, "Setup cannot install onto a floppy disk or removable drive."},
    {kTextNetwork, "Setup cannot install onto a network drive."},
    {kTextFolderNotGbk,
     "The folder name contains characters outside the Simplified Chinese (GBK) character set, so Setup "
     "cannot install into it. Please choose another folder."},
    {kTextScopeMachine, "Install for &all users (requires administrator rights)"},
    {kTextScopeUser, "Install just for &me"},
    {kTextElevationFailed, "Setup could not start with administrator rights."},
    {kTextCopying, "Copying files..."},
    {kTextGettingFileInfo, "Preparing to install..."},
    {kTextVerifying, "Checking the setup file..."},
    {kTextCopyingTo, "Copying %s"},
    {kTextOverwriteQuestion, "The file %s already exists. Replace it?"},
    {kTextOverwrite, "&Replace"},
    {kTextKeep, "&Keep"},
    {kTextEstimateUnknown, "Estimating time remaining..."},
    {kTextEstimateSeconds, "Time remaining: %d sec"},
    {kTextEstimateMinutes, "Time remaining: %d min %d sec"},
    {kTextEstimateHours, "Time remaining: %d hr %d min %d sec"},
    {kTextEstimateDone, "Time remaining: 0 sec"},
    {kTextUninstallerFailed, "Setup could not create " UNINSTALLER_NAME "."},
    {kTextCreatingAssociations, "Registering file types..."},
    {kTextFilesNotInstalled, "These files could not be installed:"},
    {kTextUpgradeFailed, "These files could not be installed, so the previously installed version has been restored:"},
    {kTextPreviousRestored, "The previously installed version has been restored."},
    {kTextInUsePrograms,
     "The following programs are using files that Setup needs to update. Close them and click Retry, or click "
     "Ignore to continue; those files will be updated when you restart your computer."},
    {kTextInUseFiles,
     "The following files are in use by other programs. Close those programs and click Retry, or click Ignore "
     "to continue; the files will be updated when you restart your computer."},
    {kTextRetry, "&Retry"},
    {kTextIgnore, "&Ignore"},
    {kTextCancel, "Cancel"},
    {kTextRestartNeeded, "Restart your computer to complete the installation."},
    {kTextDowngradeQuestion, "A newer version (%s) is already installed. Continue anyway?\r\n(This setup installs version %s.)"},
    {kTextInstallComplete, "Installation complete"},
    {kTextFinishDesktop, "Create a &desktop shortcut"},
    {kTextFinishStartMenu, "Add a shortcut to the &Start menu"},
    {kTextFinishGroup, "Create a Start menu &folder"},
    {kTextFinishReadme, "&View the readme file"},
    {kTextFinishRun, "&Run the program"},
    {kTextLogCreateFailed, "Setup could not create setup.log."},
    {kTextLogWriteFailed, "Setup could not write all of setup.log."},
    {kTextEntryFailed,
     "Setup could not add the program to the list of installed programs (administrator rights are needed)."},
    {kTextUsageCaption, "Setup command line"},
    {kTextUsage,
     "setup.exe [/S] [/ALLUSERS | /CURRENTUSER] [/NOOVERWRITE] [/ALLOWDOWNGRADE] [/LOG=file] [/D=folder]\r\n\r\n"
     "/S\tSilent installation: no windows at all\r\n"
     "/ALLUSERS\tInstall for all users (administrator rights required), where setup lets you choose\r\n"
     "/CURRENTUSER\tInstall for the current user only, where setup lets you choose\r\n"
     "/NOOVERWRITE\tIn a silent installation, keep files that already exist (by default they are replaced)\r\n"
     "/ALLOWDOWNGRADE\tIn a silent installation, install over a newer installed version\r\n"
     "/LOG=file\tWrite what the installation does to this file (UTF-8 text)\r\n"
     "/D=folder\tThe installation folder; must come last, may contain spaces, no quotes; missing folders are "
     "created\r\n"
     "/?\tShow this help\r\n\r\n"
     "Exit codes: 0 done, 1 cancelled, 2 damaged setup file, 3 installation folder refused, "
     "4 some files not installed, 8 a newer version is installed, 740 administrator rights required (silent), "
     "3010 done, restart required"},
    {kTextRunStart, "Silent installation: %s"},
    {kTextRunUnknownSwitch, "Unknown switches ignored: %s"},
    {kTextRunFolder, "Installation folder: %s"},
    {kTextRunFolderRefused, "Installation folder refused: %s"},
    {kTextRunFolderTooLong, "The path of the installation folder is too long."},
    {kTextRunPrevious, "Installed version %s: %s"},
    {kTextRunDowngradeRefused, "A newer version (%s) is installed; version %s not installed (/ALLOWDOWNGRADE allows it)"},
    {kTextRunDowngrade, "Installing over the newer installed version %s (/ALLOWDOWNGRADE)"},
    {kTextRunFolderMade, "Folder created: %s"},
    {kTextRunInUse, "File in use: %s"},
    {kTextRunInUseProgram, "Program using files: %s"},
    {kTextRunWritten, "File written: %s"},
    {kTextRunKept, "Existing file kept: %s"},
    {kTextRunNotWritten, "File not written: %s"},
    {kTextRunAtRestart, "File to be replaced at restart: %s"},
    {kTextRunOldRemoved, "File of the previous version removed: %s"},
    {kTextRunOldAtRestart, "File of the previous version to be removed at restart: %s"},
    {kTextRunNotScheduled, "Could not be arranged for the restart, left as it is: %s"},
    {kTextRunAsked, "Question: \"%s\""},
    {kTextRunAnswerOverwrite, "    Answer: replace"},
    {kTextRunAnswerKeep, "    Answer: keep (/NOOVERWRITE)"},
    {kTextRunRegistered, "Control registered: %s"},
    {kTextRunNotRegistered, "Control not registered: %s"},
    {kTextRunAssociation, "File type registered: %s"},
    {kTextRunUninstaller, "Uninstaller written: %s"},
    {kTextRunShortcut, "Shortcut created: %s"},
    {kTextRunShortcutFailed, "Shortcut not created: %s"},
    {kTextRunSetupLog, "Installation log written: %s"},
    {kTextRunEntry, "Installed programs entry written: %s"},
    {kTextRunEntryFailed, "Installed programs entry not written: %s"},
    {kTextRunMessage, "Error: %s"},
    {kTextRunExitCode, "Exit code: %d"},
    {kTextRunForAllUsers, "Installing for all users"},
    {kTextRunForCurrentUser, "Installing for the current user only"},
    {kTextRunElevationRequired,
     "Installing for all users requires administrator rights: run setup as an administrator, or use /CURRENTUSER "
     "to install for the current user only"},
};

constexpr TextArray<kSetupTexts> kTexts = MakeTexts<kSetupTexts>(kEntries);

}  // namespace

// The dialog templates in the system's dialog font, as English programs show theirs.
extern const TextLanguage kSetupEnglish = {"en", 0x0409, "MS Shell Dlg 2", 8, kTexts.Texts};
