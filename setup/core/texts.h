// Every text the setup shows or writes, by id: messages, captions, the
// texts of its dialog templates' controls, the status lines, the account of
// an unattended run. Each language is a table of its own
// (setup/core/lang/<tag>.cpp) that gives every id its text; the setup speaks
// the language its package names (ui.language), chosen at the start.
#pragma once
#include "framework/language.h"

enum SetupTextId {
  // Start-up, and the wizard's window caption.
  kTextLoadFailed = kFrameworkTexts,
  // A package whose bytes are not what its checksums say: nothing is installed.
  kTextPackageDamaged,
  kTextSheetCaption,
  // Captions of the sheet's Next button.
  kTextNext,
  kTextInstall,
  // The answers of a page's Cancel and the pages' questions.
  kTextContinue,
  kTextQuit,
  kTextQuitNotStarted,
  kTextQuitStarting,
  kTextQuitRunning,
  kTextQuitFinishing,
  // The licence page's choice.
  kTextAgree,
  kTextDisagree,
  // The destination folder page: its button, the browse box's title, the refusals.
  kTextBrowse,
  kTextBrowseTitle,
  kTextBadDrive,
  kTextBadFolder,
  kTextFloppy,
  kTextNetwork,
  // A folder whose name holds characters outside the Simplified Chinese (GBK)
  // character set: setup.log could not name it for the uninstaller.
  kTextFolderNotGbk,
  // The folder page's choice of a package that lets the user choose, and
  // the start with the administrator's rights failing for another reason
  // than the user's no.
  kTextScopeMachine,
  kTextScopeUser,
  kTextElevationFailed,
  // The copy page: its first status line, then the run's.
  kTextCopying,
  kTextGettingFileInfo,
  kTextVerifying,
  kTextCopyingTo,  // %s: the shortened target path
  kTextOverwriteQuestion,  // %s: the file
  kTextOverwrite,
  kTextKeep,
  kTextEstimateUnknown,
  kTextEstimateSeconds,  // %d seconds
  kTextEstimateMinutes,  // %d minutes, %d seconds
  kTextEstimateHours,    // %d hours, %d minutes, %d seconds
  kTextEstimateDone,
  kTextUninstallerFailed,
  kTextCreatingAssociations,
  kTextFilesNotInstalled,  // then one path a line
  // The same over an installation of the product, which the run then put back.
  kTextUpgradeFailed,  // then one path a line
  // setup.log could not be written over an installation of the product, which
  // the run then put back.
  kTextPreviousRestored,
  // Files to be replaced or removed are open in other programs: the
  // question's text when the programs follow, or the files (the system
  // could not name the programs); its answers.
  kTextInUsePrograms,
  kTextInUseFiles,
  kTextRetry,
  kTextIgnore,
  kTextCancel,
  // The finish page (and the unattended account) when files wait for the restart.
  kTextRestartNeeded,
  // The folder page: a newer version of the product is installed.
  kTextDowngradeQuestion,  // %s: its version, then this setup's
  kTextInstallComplete,
  // The finish page's choices.
  kTextFinishDesktop,
  kTextFinishStartMenu,
  kTextFinishGroup,
  kTextFinishReadme,
  kTextFinishRun,
  // The finish run: a log that could not be created, or not written to the end.
  kTextLogCreateFailed,
  kTextLogWriteFailed,
  // The entry in the system's list of installed programs could not be written.
  kTextEntryFailed,
  // The command line: the list of switches (/?), and the account of an
  // unattended run (/S /LOG=file), a line per action.
  kTextUsageCaption,
  kTextUsage,
  kTextRunStart,          // %s: the product
  kTextRunUnknownSwitch,  // %s: the switches passed over
  kTextRunFolder,         // %s: the folder
  kTextRunFolderRefused,  // %s: why
  kTextRunFolderTooLong,
  kTextRunPrevious,          // %s: the installed version, then its folder
  kTextRunDowngradeRefused,  // %s: the installed version, then this one
  kTextRunDowngrade,         // %s: the installed version
  kTextRunFolderMade,        // each %s: a path (or the programs)
  kTextRunInUse,
  kTextRunInUseProgram,
  kTextRunWritten,  // each %s: a path
  kTextRunKept,
  kTextRunNotWritten,
  kTextRunAtRestart,
  kTextRunOldRemoved,
  kTextRunOldAtRestart,
  kTextRunNotScheduled,  // %s: a path, or the paths one a line
  kTextRunAsked,  // %s: the question
  kTextRunAnswerOverwrite,
  kTextRunAnswerKeep,
  kTextRunRegistered,
  kTextRunNotRegistered,
  kTextRunAssociation,  // %s: extension and program
  kTextRunUninstaller,
  kTextRunShortcut,
  kTextRunShortcutFailed,
  kTextRunSetupLog,
  kTextRunEntry,        // %s: the entry's key, from its root key's name
  kTextRunEntryFailed,
  kTextRunMessage,      // %s: a message the wizard would have shown
  kTextRunExitCode,     // %d
  // The scope chosen (a package that lets the user choose), and an
  // installation for all users without the rights for it.
  kTextRunForAllUsers,
  kTextRunForCurrentUser,
  kTextRunElevationRequired,
  kSetupTexts
};

// The setup's languages (the default, zh-CN, first) and the one it speaks,
// chosen at the start (CLanguages::Choose).
CLanguages& SetupLanguages();
// The setup's text in the language it speaks.
const char* Text(SetupTextId id);
