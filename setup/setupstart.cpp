// The setup's start-up: the command line, the package, and then the wizard
// or the unattended run.
#include "common/exitcodes.h"
#include "framework/mbcs.h"
#include "framework/msgbox.h"
#include "framework/widetext.h"
#include "setup/core/commandline.h"
#include "setupapp.h"
#include "silentinstall.h"
#include "texts.h"
#include "wizard.h"

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
  BOOL loaded = LoadPackage();
  if (Switches.Silent) {
    m_nExitCode = RunSilentInstall(Switches, Package, loaded, PackageDamaged);
    return FALSE;
  }
  if (!loaded) {
    MessageBoxMb(0, PackageDamaged ? kTextPackageDamaged : kTextLoadFailed, "", MB_OK);
    m_nExitCode = EXIT_DAMAGED_PACKAGE;
    return FALSE;
  }
  Previous = FindPreviousInstallation(Package);
  m_nExitCode = RunWizard(*this) == IDOK ? EXIT_DONE : EXIT_CANCELLED;
  if (PackageDamaged) m_nExitCode = EXIT_DAMAGED_PACKAGE;
  return FALSE;
}
