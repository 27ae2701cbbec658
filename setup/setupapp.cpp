#include "setupapp.h"

#include <string.h>

#include "common/container.h"
#include "common/exitcodes.h"
#include "common/fieldtable.h"
#include "common/shellhelpers.h"
#include "framework/memory.h"
#include "framework/widetext.h"
#include "resource.h"

CSetupApp::CSetupApp()
    : CWinApp(0), MadeInstallDir(FALSE), AskScope(false), HandedOver(0), CopyRun(0), PackageDamaged(FALSE) {
  ModulePath = ModulePathMb(0, 254);
}

// Loads a picture from a region of the setup file; a region that cannot be
// read leaves it not loaded.
static void LoadRegionPicture(CPictureImage& picture, const CPackage& package, const FileRegion& region) {
  long n = 0;
  char* bytes = package.ReadRegion(region, n);
  if (!bytes) {
    picture.LoadFromMemory(0, 0);
    return;
  }
  picture.LoadFromMemory(bytes, static_cast<int>(n));
  FreeBuffer(bytes);
}

BOOL CSetupApp::LoadPackage() {
  PackageOpenResult opened = Package.Open(ModulePath);
  if (opened == kPackageDamaged) PackageDamaged = TRUE;
  // A start whose temporary folder has no usable path reads no package, as
  // when the index went through a copy there.
  CString indexCopy = TempFilePath(TEMP_FILE_NAME);
  if (opened != kPackageOpened || indexCopy.IsEmpty()) return FALSE;
  RemoveIndexCopy(indexCopy);
  if (Package.PictureLength > 0) LoadRegionPicture(Picture, Package, PictureRegion(Package));
  else Picture.LoadFromResource(PICTURE_RESOURCE_ID, PICTURE_RESOURCE_TYPE);
  if (Package.SplashEnabled && Package.SplashPictureLength > 0)
    LoadRegionPicture(SplashPicture, Package, SplashPictureRegion(Package));
  return TRUE;
}

void CSetupApp::ChooseScope(bool user) {
  Package.Scope = user ? SCOPE_USER_WORD : SCOPE_MACHINE_WORD;
  Previous = PreviousFor[user ? kForUser : kForMachine];
}

HICON MakeProductIcon(const CPackage& package) {
  if (package.IconLength > 0) {
    long length = 0;
    char* bytes = package.ReadRegion(IconRegion(package), length);
    if (!bytes) return 0;
    HICON icon = LoadIconFromBytes(bytes, static_cast<int>(length));
    FreeBuffer(bytes);
    return icon;
  }
  return LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_SETUP));
}

int CSetupApp::ConfirmCancel(CString message, CString first, CString second) {
  // One dialog object serves every question: run inside itself, the inner run
  // would leave the outer one unable to close and the setup unable to end.
  if (Confirming) return -1;
  if (!CancelDlg.m_hIcon) {
    CancelDlg.m_hIcon = MakeProductIcon(Package);
    CancelDlg.m_strCaption = Package.ProductName;
  }
  CancelDlg.m_strMessage = message;
  CancelDlg.m_strFirst = first;
  CancelDlg.m_strSecond = second;
  Confirming = TRUE;
  INT_PTR result = CancelDlg.DoModal();
  Confirming = FALSE;
  return result == IDOK ? 0 : 1;
}
