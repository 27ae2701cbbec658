// Every text the uninstaller shows or writes, by id: its dialog's captions,
// each state's button captions and headlines, the run's status lines, the
// messages and the account of an unattended removal. Each language is a
// table of its own (uninstall/core/lang/<tag>.cpp) that gives every id its
// text; the uninstaller speaks the language its table names (the language
// of the installation), chosen at the start.
#pragma once
#include "framework/language.h"

enum UninstallTextId {
  // State Ready: the status line, then the headline once the product's name is known.
  kTextReadyStatus = kFrameworkTexts,
  kTextPreparing,  // %s: the product
  // Button 1 in states Ready, Files left and Finished; button 2 in Ready and Files left.
  kTextUninstallButton,
  kTextDeleteAll,
  kTextDone,
  kTextCancelButton,
  kTextExitButton,
  // State Running (the product's name; a shortened path), then Files left and Finished.
  kTextRunning,
  kTextReading,
  kTextDeleting,
  kTextDeletingTypes,
  kTextDeletingShortcuts,
  kTextFilesLeft,
  kTextFinished,
  // Finished, but files in use (and their folders) go at the next restart.
  kTextFinishedRestart,
  // Messages: the uninstaller's own data unreadable; the log unreadable; a
  // folder that is (or holds) a system or user folder, never removed whole;
  // something inside a folder that could not be removed (its path).
  kTextTableFailed,
  kTextLogOpenFailed,
  kTextFolderRefused,
  kTextFolderFailed,
  // The account of an unattended removal (/S /LOG=file), a line per step.
  kTextSilentStart,    // %s: setup.log
  kTextSilentMessage,  // %s: a message the dialog would have shown
  kTextSilentLeft,     // %s: a file left
  kTextSilentAtRestart,  // %s: a file or folder deleted at the restart
  kTextSilentAll,      // %s: the installation folder
  kTextSilentExit,     // %d
  kTextCopyFailed,
  // An unattended removal of an installation for all users, without the
  // administrator's rights (nobody is asked for them).
  kTextElevationRequired,
  kUninstallTexts
};

// The uninstaller's languages (the default, zh-CN, first) and the one it speaks,
// chosen at the start (CLanguages::Choose).
CLanguages& UninstallLanguages();
// The uninstaller's text in the language it speaks.
const char* Text(UninstallTextId id);
