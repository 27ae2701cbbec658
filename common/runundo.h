// The old copies a run keeps until it has succeeded, and its plan.
//
// A run that overwrites or removes files moves the old ones into a folder of
// its own in the installation folder, "~setup-undo.<process number>", each
// under a name of its own, instead of losing them: a run that is cancelled or
// fails puts them back, a run that succeeded discards the folder. Before it
// touches the first file the run writes its plan into the folder and flushes
// it to the disk: every file it may set aside, with the name its old copy
// will have, and every file it may create. A run that never ended (a crash,
// a power loss) leaves the folder behind; the next setup or removal in that
// installation folder puts its old copies back, removes the files the plan
// says the run created, and removes the folder (RecoverInterruptedRuns).
// While the run goes it holds its plan open without sharing, so that no
// other run takes a live folder for one left behind. Old copies are moved,
// not copied: on the installation folder's volume a move is a rename, and no
// file's bytes pass through memory.
#pragma once
#include "framework/cstring.h"
#include "framework/file.h"
#include "pathlist.h"

#define UNDO_FOLDER_PREFIX "~setup-undo."
#define UNDO_PLAN_NAME "plan"
// The plan's mark for a file the run may create.
#define UNDO_PLAN_NEW "+"

class CRunUndo {
 public:
  CRunUndo();
  ~CRunUndo();  // closes the plan; the folder stays

  // Makes the run's folder in installDir and opens its plan. False when
  // either could not be made (nothing is left then).
  bool Open(const char* installDir);
  bool IsOpen() const { return m_plan.IsOpen(); }
  const CString& Folder() const { return m_folder; }

  // Lines of the plan: the old copy of path will be kept as name (letters,
  // then digits: the digits choose the subfolder it lies in, 64 a
  // subfolder); a file at path may be created by the run.
  void PlanAside(const char* name, const char* path);
  void PlanNew(const char* path);
  // Writes the plan to the disk and flushes it; false when that failed.
  bool WritePlan();

  // Moves the file at path into the folder as name; the old copy's path, or
  // empty when it could not be moved (the file then stays where it was).
  CString SetAside(const char* name, const char* path);
  // The same by copying: the file stays where it is, too.
  CString CopyAside(const char* name, const char* path);

  // The run is over (done or taken back): the plan, every old copy still in
  // the folder and the folder go. What cannot be removed now is added to
  // left, the folder last, for removal at the next restart.
  void Close(CPathList& left);
  // The run is over but an old copy could not go back: the folder stays as
  // it is, its plan no longer held, for the next run to put back.
  void Abandon();

 private:
  CRunUndo(const CRunUndo&);
  CRunUndo& operator=(const CRunUndo&);
  void PlanLine(const char* mark, const char* path);
  CString m_folder;  // with a trailing backslash
  CFile m_plan;
  CString m_pending;  // plan lines not yet written
  bool m_planOk;
};

// Puts back what runs in installDir that never ended left behind: for each
// of their folders whose plan no running run holds, the files the plan says
// were created go, the old copies go back to their places, and the folder
// goes. How many folders were taken back.
int RecoverInterruptedRuns(const char* installDir);
