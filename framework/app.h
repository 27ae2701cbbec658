// The application object: one global instance per program, whose InitInstance
// does all the work. The program ends when InitInstance returns FALSE, or after
// Run when it returns TRUE.
#pragma once
#include "cstring.h"
#include "platform.h"

class CWnd;

class CWinApp {
 public:
  // Without a name the application takes its title from the program file's
  // name without extension.
  explicit CWinApp(const char* appName = 0);
  virtual ~CWinApp();

  virtual BOOL InitInstance() { return FALSE; }
  // The message loop, for programs whose InitInstance returns TRUE.
  virtual int Run();
  // Clean-up after the program's work; its result is the exit code.
  virtual int ExitInstance();

  HINSTANCE m_hInstance;
  CWnd* m_pMainWnd;  // the main window of the run, if any
  CString m_strAppName;
  int m_nExitCode;  // what ExitInstance returns: the program's exit code

  // Called once by the program's entry point before InitInstance.
  void Startup(HINSTANCE instance);

 private:
  bool m_oleStarted;
  friend BOOL AfxOleInit();
  CWinApp(const CWinApp&);
  CWinApp& operator=(const CWinApp&);
};

// The program's application object (null before it is constructed).
CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// The window of the application's main window object, if it has one now.
HWND AfxGetMainWnd();
HINSTANCE AfxGetResourceHandle();

// Start-up steps of the application object. Controls are plain Win32 controls
// and the 3-D look is the system's own, so the first and last need no work.
inline void AfxEnableControlContainer() {}
inline BOOL Enable3dControls() { return TRUE; }
// Initialises OLE on the calling thread for the rest of the run (COM objects,
// shell links, pictures); uninitialised by ExitInstance.
BOOL AfxOleInit();

// Waits ms milliseconds: a pause of a run that lets the user read a state
// (the programs' runs pause between their steps). A test that needs only the
// run's result shortens every such pause with the environment variable
// kTestPauseVariable (milliseconds, at most the pause given); without it
// the pauses are as shipped.
void PauseForReading(DWORD ms);
inline constexpr char kTestPauseVariable[] = "INSTALLER_TEST_PAUSE_MS";
