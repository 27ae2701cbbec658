#include "app.h"

#include <objbase.h>
#include <ole2.h>

#include "mbcs.h"
#include "widetext.h"
#include "wnd.h"

static CWinApp* g_app = 0;

CWinApp::CWinApp(const char* appName)
    : m_hInstance(0), m_pMainWnd(0), m_strAppName(appName ? appName : ""), m_nExitCode(0), m_oleStarted(false) {
  g_app = this;
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = 0;
}

void CWinApp::Startup(HINSTANCE instance) {
  m_hInstance = instance;
  if (!m_strAppName.IsEmpty()) return;
  CString name = ModulePathMb(instance, MAX_PATH);
  // The last backslash of its own, not the trail byte of a character.
  int slash = ReverseFindCharMb(name, '\\');
  if (slash >= 0) name = name.Mid(slash + 1);
  int dot = name.ReverseFind('.');
  if (dot > 0) name = name.Left(dot);
  m_strAppName = name;
}

int CWinApp::Run() {
  MSG msg;
  while (GetMessageW(&msg, 0, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return ExitInstance();
}

int CWinApp::ExitInstance() {
  if (m_oleStarted) {
    OleUninitialize();
    m_oleStarted = false;
  }
  return m_nExitCode;
}

CWinApp* AfxGetApp() { return g_app; }

HINSTANCE AfxGetInstanceHandle() {
  return g_app && g_app->m_hInstance ? g_app->m_hInstance : GetModuleHandleA(0);
}

HWND AfxGetMainWnd() {
  HWND w = g_app && g_app->m_pMainWnd ? g_app->m_pMainWnd->m_hWnd : 0;
  return w && IsWindow(w) ? w : 0;
}

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

void PauseForReading(DWORD ms) {
  char value[16];
  DWORD n = GetEnvironmentVariableA(kTestPauseVariable, value, sizeof value);
  if (n > 0 && n < sizeof value) {
    DWORD shortened = 0;
    for (const char* p = value; *p >= '0' && *p <= '9' && shortened < ms; p++) shortened = shortened * 10 + (*p - '0');
    if (value[0] >= '0' && value[0] <= '9' && shortened < ms) ms = shortened;
  }
  ::Sleep(ms);
}

BOOL AfxOleInit() {
  if (g_app && g_app->m_oleStarted) return TRUE;  // one initialisation per run
  if (FAILED(OleInitialize(0))) return FALSE;
  if (g_app) g_app->m_oleStarted = true;
  return TRUE;
}
