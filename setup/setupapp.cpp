#include "setupapp.h"

#include <string.h>

#include "common/container.h"
#include "common/exitcodes.h"
#include "common/fieldtable.h"
#include "common/shellhelpers.h"
#include "framework/memory.h"
#include "framework/widetext.h"
#include "silentinstall.h"
#include "texts.h"

CSetupApp::CSetupApp() : CWinApp(0), MadeInstallDir(FALSE), IndexSeek(0), PackageDamaged(FALSE) {
  memset(&Seal, 0, sizeof Seal);
  ModulePath = ModulePathMb(0, 254);
}

BOOL CSetupApp::InitInstance() {
  AfxEnableControlContainer();
  AfxOleInit();
  Enable3dControls();
  ParseSetupSwitches(ParametersOf(NarrowText(GetCommandLineW())), Switches);
  if (Switches.Help) {
    MessageBoxMb(0, kTextUsage, kTextUsageCaption, MB_OK);
    m_nExitCode = EXIT_CANCELLED;
    return FALSE;
  }
  if (Switches.Silent) {
    m_nExitCode = RunSilentInstall(*this);
    return FALSE;
  }
  if (!LoadPackage()) {
    MessageBoxMb(0, PackageDamaged ? kTextPackageDamaged : kTextLoadFailed, "", MB_OK);
    m_nExitCode = EXIT_DAMAGED_PACKAGE;
    return FALSE;
  }
  m_nExitCode = RunWizard(*this) == IDOK ? EXIT_DONE : EXIT_CANCELLED;
  if (PackageDamaged) m_nExitCode = EXIT_DAMAGED_PACKAGE;
  return FALSE;
}

// Loads a picture from a data region of the setup file; a region that cannot
// be read leaves it not loaded.
static void LoadRegionPicture(CPictureImage& picture, const char* modulePath, LONG length, LONG offset) {
  long n = length;
  char* bytes = ReadRegion(modulePath, n, offset);
  if (!bytes) {
    picture.LoadFromMemory(0, 0);
    return;
  }
  picture.LoadFromMemory(bytes, static_cast<int>(n));
  FreeBuffer(bytes);
}

BOOL CSetupApp::LoadPackage() {
  long len = 0, seek = 0;
  if (!ReadPackageTrailer(ModulePath, len, seek, Seal)) return FALSE;
  IndexSeek = seek;
  // A sealed index is checked before anything of it is used.
  if (Seal.Present) {
    long n = len;
    char* stored = len > 0 ? ReadRegion(ModulePath, n, seek) : 0;
    BOOL matches = stored && Seal.Valid && IndexMatchesSeal(stored, n, Seal);
    FreeBuffer(stored);
    if (!matches) {
      PackageDamaged = TRUE;
      return FALSE;
    }
  }
  CString tmp = TempFilePath(TEMP_FILE_NAME);
  if (tmp.IsEmpty()) return FALSE;
  // A read-only leftover of an earlier run must not block the copy, and an
  // index that could not be copied must not be replaced by such a leftover.
  if (GetAttributes(tmp) != INVALID_FILE_ATTRIBUTES) SetAttributesNormal(tmp);
  if (!ExtractRegion(tmp, ModulePath, seek, len)) return FALSE;

  BOOL result = TRUE;
  CFieldTable table;
  if (table.LoadFile(tmp, TABLE_KEY)) {
    ParsePackageIndex(table, *this);
    RemoveFile(tmp);
    if (!ExtensionConsistent(*this, Seal, seek)) {
      PackageDamaged = TRUE;
      return FALSE;
    }
  } else {
    result = FALSE;  // the temporary file stays, as the failed read left it
  }

  if (PictureLength > 0) LoadRegionPicture(Picture, ModulePath, PictureLength, PictureOffset);
  else Picture.LoadFromResource(PICTURE_RESOURCE_ID, PICTURE_RESOURCE_TYPE);
  if (SplashEnabled && SplashPictureLength > 0)
    LoadRegionPicture(SplashPicture, ModulePath, SplashPictureLength, SplashPictureOffset);
  return result;
}
