// The entry point of a program built on CWinApp: the global application object
// does the work in InitInstance.
#include "app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  app->Startup(instance);
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}
