// The setup's start-up: the command line, the package, and then the wizard
// or the unattended run.
#include "common/exitcodes.h"
#include "common/shellhelpers.h"
#include "framework/mbcs.h"
#include "framework/msgbox.h"
#include "framework/widetext.h"
#include "setup/core/commandline.h"
#include "setupapp.h"
#include "silentinstall.h"
#include "setup/core/texts.h"
#include "wizard.h"

BOOL CSetupApp::InitInstance() {
  AfxEnableControlContainer();
  AfxOleInit();
  Enable3dControls();
  ParseSetupSwitches(ParametersOf(NarrowText(GetCommandLineW())), Switches);
  BOOL loaded = LoadPackage();
  // Everything the setup says, from the list of its switches on, is in the
  // package's language; an index that could not be read names none.
  SetupLanguages().Choose(Package.IndexRead ? Package.Language.c_str() : 0, GetUserDefaultUILanguage());
  if (Switches.Help) {
    MessageBoxMb(0, Text(kTextUsage), Text(kTextUsageCaption), MB_OK);
    m_nExitCode = EXIT_CANCELLED;
    return FALSE;
  }
  if (Switches.Silent) {
    m_nExitCode = RunSilentInstall(Switches, Package, loaded, PackageDamaged);
    return FALSE;
  }
  if (!loaded) {
    MessageBoxMb(0, PackageDamaged ? Text(kTextPackageDamaged) : Text(kTextLoadFailed), "", MB_OK);
    m_nExitCode = EXIT_DAMAGED_PACKAGE;
    return FALSE;
  }
  AskScope = Package.AskScope();
  StartScope(Package, Switches, PreviousFor);
  Previous = PreviousFor[Package.UserScope() ? kForUser : kForMachine];
  m_nExitCode = RunWizard(*this) == IDOK ? EXIT_DONE : EXIT_CANCELLED;
  if (HandedOver) {
    // The setup goes on in the instance with the administrator's rights; a
    // script that started this one learns how it ended.
    DWORD code = EXIT_CANCELLED;
    m_nExitCode = WaitForExitCode(HandedOver, code) ? static_cast<int>(code) : EXIT_CANCELLED;
    return FALSE;
  }
  if (PackageDamaged) m_nExitCode = EXIT_DAMAGED_PACKAGE;
  return FALSE;
}
