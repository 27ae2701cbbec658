// The uninstaller's texts in English.
#include "uninstall/core/texts.h"

namespace {

constexpr TextEntry kEntries[] = {
    {kTextTooLong, "The text is too long. Enter at most %d characters."},
    {kTextReadyStatus, "Click Uninstall to continue, or Cancel to exit."},
    {kTextPreparing, "Ready to uninstall %s."},
    {kTextUninstallButton, "&Uninstall"},
    {kTextDeleteAll, "&Delete All"},
    {kTextDone, "&Finish"},
    {kTextCancelButton, "Cancel"},
    {kTextExitButton, "&Close"},
    {kTextRunning, "Uninstalling %s..."},
    {kTextReading, "Reading the installation log..."},
    {kTextDeleting, "Removing %s"},
    {kTextDeletingTypes, "Removing file types"},
    {kTextDeletingShortcuts, "Removing shortcuts"},
    {kTextFilesLeft, "These files were not removed:"},
    {kTextFinished, "Uninstall complete. Click Finish to close."},
    {kTextFinishedRestart, "Restart your computer to complete the uninstall."},
    {kTextTableFailed, "The uninstaller cannot read its data."},
    {kTextLogOpenFailed, "The uninstaller cannot open setup.log."},
    {kTextFolderRefused, "The folder %s cannot be deleted: it is (or contains) a system or user folder."},
    {kTextFolderFailed, "Could not delete %s."},
    {kTextSilentStart, "Silent uninstall: %s"},
    {kTextSilentMessage, "Error: %s"},
    {kTextSilentLeft, "File not removed: %s"},
    {kTextSilentAtRestart, "To be deleted at restart: %s"},
    {kTextSilentAll, "Deleting the whole installation folder (/ALL): %s"},
    {kTextSilentExit, "Exit code: %d"},
    {kTextCopyFailed, "The uninstaller could not create, check or start its copy in the temporary folder."},
    {kTextElevationRequired, "This installation is for all users: run the uninstaller as an administrator to remove it."},
};

constexpr TextArray<kUninstallTexts> kTexts = MakeTexts<kUninstallTexts>(kEntries);

}  // namespace

// The dialog template in the system's dialog font, as English programs show theirs.
extern const TextLanguage kUninstallEnglish = {"en", 0x0409, "MS Shell Dlg 2", 8, kTexts.Texts};
