#include "finishrun.h"

#include "common/container.h"
#include "common/setuplog.h"
#include "setup/core/texts.h"

namespace {

// A special folder that came back as a bare backslash was not found.
bool KnownFolder(const CString& path) { return path.GetLength() > 1; }

}  // namespace

CFinishRun::CFinishRun(const PackageSettings& settings, IFinishServices& services, bool& uninstallerLinkPending)
    : Types(0),
      LogFolders(0),
      LogWritten(false),
      m_settings(settings),
      m_services(services),
      m_uninstallerLinkPending(uninstallerLinkPending),
      m_desktopAsked(false),
      m_startMenuAsked(false),
      m_programsAsked(false) {}

const CString& CFinishRun::Folder(int csidl, CString& cache, bool& asked) {
  if (!asked) {
    asked = true;
    cache = m_services.SpecialFolder(csidl);
    if (!KnownFolder(cache)) cache.Empty();
    else AppendBackslashIfMissing(cache);
  }
  return cache;
}

void CFinishRun::MakeUninstallerLink(const CString& programs) {
  m_uninstallerLinkPending = false;
  CString group = programs + GroupName;
  m_services.CreateFolder(group);
  CString target = Folders.InstallDir;
  AppendBackslashIfMissing(target);
  target += UNINSTALLER_NAME;
  CString link = group;
  AppendBackslashIfMissing(link);
  link += UNINSTALLER_LINK_NAME;
  m_services.CreateShortcut(target, link);
}

void CFinishRun::Link(const CString& target, const CString& link, CSetupLogWriter& log, bool& logOk) {
  m_services.CreateShortcut(target, link);
  Links.Add(link);
  if (!log.WriteLine(link)) logOk = false;
}

void CFinishRun::ShortcutPass(const FinishChoices& choices, CSetupLogWriter& log, bool& logOk) {
  for (const CFileList::Node* n = m_settings.FileList.Head; n; n = n->Next) {
    const FileEntry& e = n->Entry;
    if (!IsContainedEntry(e)) continue;  // never installed: no shortcut
    CString target;
    if (!Folders.Resolve(e, target)) {
      logOk = false;
      continue;
    }
    CString name = ShortcutName(e.Name);
    // The result of each shortcut is not looked at: the path is listed either
    // way, and removing a missing file later is harmless.
    if (choices.Desktop == 1 && (e.Shortcuts & SHORTCUT_DESKTOP)) {
      const CString& desktop = Folder(kFolderIdDesktop, m_desktop, m_desktopAsked);
      if (!desktop.IsEmpty()) Link(target, desktop + name, log, logOk);
    }
    if (choices.StartMenu == 1 && (e.Shortcuts & SHORTCUT_STARTMENU)) {
      const CString& startMenu = Folder(kFolderIdStartMenu, m_startMenu, m_startMenuAsked);
      if (!startMenu.IsEmpty()) Link(target, startMenu + name, log, logOk);
    }
    if (choices.Group == 1 && (e.Shortcuts & SHORTCUT_GROUP)) {
      const CString& programs = Folder(kFolderIdPrograms, m_programs, m_programsAsked);
      if (!programs.IsEmpty()) {
        if (m_uninstallerLinkPending) MakeUninstallerLink(programs);
        Link(target, programs + GroupName + "\\" + name, log, logOk);
      }
    }
  }
}

bool CFinishRun::Run(const FinishChoices& choices) {
  CSetupLogWriter log;
  Links.Clear();
  LogWritten = false;
  if (!log.Create(SetupLogPathIn(Folders.InstallDir))) {
    m_services.ShowError(Text(kTextLogCreateFailed));
    return false;
  }
  bool logOk = WriteLogSections(log, m_settings, Folders);
  ShortcutPass(choices, log, logOk);
  if (!WriteLaterSections(log, LogFolders, Types)) logOk = false;
  if (!log.Close()) logOk = false;
  LogWritten = logOk;
  // A short log would make the uninstaller leave things behind unasked.
  if (!logOk) m_services.ShowError(Text(kTextLogWriteFailed));

  if (choices.Readme == 1 && m_settings.ReadmeFile[0]) m_services.Open(Folders.ResolveRef(m_settings.ReadmeFile));
  if (choices.Run == 1 && m_settings.RunFile[0]) m_services.Open(Folders.ResolveRef(m_settings.RunFile));
  return true;
}
