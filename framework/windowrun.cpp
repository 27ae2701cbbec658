#include "windowrun.h"

#include <objbase.h>

namespace {

// Sent by the run's thread: a report (wParam: what, lParam: its argument);
// posted by it: changes to show, and once, as its last act, its end (wParam:
// its result).
const UINT kMsgRunReport = WM_APP + 1;
const UINT kMsgRunDone = WM_APP + 2;
const UINT kMsgRunShow = WM_APP + 3;
// The timer that brings changes held back by the pacing.
const UINT_PTR kShowTimer = 1;

}  // namespace

CWindowRun::CWindowRun(IRunWindow& window)
    : m_window(window), m_hWnd(0), m_work(0), m_context(0), m_result(0), m_shown(FALSE), m_lastShown(0) {}

CWindowRun::~CWindowRun() { JoinPumping(); }

void CWindowRun::Start(HWND w, Work work, void* context) {
  if (m_thread.Running()) return;
  m_hWnd = w;
  m_work = work;
  m_context = context;
  if (m_thread.Start(Entry, this)) return;
  m_result = work(context);
  ShowChanges(TRUE);
  m_window.OnRunDone(m_result);
}

void CWindowRun::Entry(void* self) {
  CWindowRun* run = static_cast<CWindowRun*>(self);
  // Controls register and unregister themselves on this thread.
  HRESULT com = CoInitialize(0);
  run->m_result = run->m_work(run->m_context);
  if (SUCCEEDED(com)) CoUninitialize();
  ::PostMessageA(run->m_hWnd, kMsgRunDone, static_cast<WPARAM>(run->m_result), 0);
}

BOOL CWindowRun::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg == kMsgRunShow || (msg == WM_TIMER && wp == kShowTimer)) {
    ShowChanges(msg == WM_TIMER);
    *result = 0;
    return TRUE;
  }
  if (msg == kMsgRunReport) {
    // What the run handed over before comes first: a status line may name
    // what a question is about.
    ShowChanges(TRUE);
    *result = m_window.OnRunReport(static_cast<int>(wp), lp);
    return TRUE;
  }
  if (msg == kMsgRunDone) {
    ShowChanges(TRUE);
    // Posting this was the thread's last act: it ends without the window's help.
    m_thread.Join();
    *result = 0;
    m_window.OnRunDone(static_cast<int>(wp));
    return TRUE;
  }
  return FALSE;
}

void CWindowRun::ShowChanges(BOOL now) {
  DWORD tick = GetTickCount();
  if (!now && m_shown && tick - m_lastShown < kShowInterval) {
    if (m_hWnd) SetTimer(m_hWnd, kShowTimer, kShowInterval - (tick - m_lastShown), 0);
    return;
  }
  if (m_hWnd) KillTimer(m_hWnd, kShowTimer);
  m_shown = TRUE;
  m_lastShown = tick;
  CString texts[CHandOver::kSlots];
  int numbers[CHandOver::kSlots];
  int changes = m_noted.Take(texts, numbers);
  if (changes) m_window.OnRunChanges(changes, texts, numbers);
}

void CWindowRun::RepostDone() { ::PostMessageA(m_hWnd, kMsgRunDone, static_cast<WPARAM>(m_result), 0); }

void CWindowRun::JoinPumping() {
  if (!m_thread.Running()) return;
  HANDLE thread = m_thread.Handle();
  while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
    MSG msg;
    PeekMessageA(&msg, 0, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  m_thread.Join();
}

LRESULT CWindowRun::Send(int what, LPARAM arg) {
  return ::SendMessageA(m_hWnd, kMsgRunReport, static_cast<WPARAM>(what), arg);
}

void CWindowRun::Tell() { ::PostMessageA(m_hWnd, kMsgRunShow, 0, 0); }

void CWindowRun::NoteText(int slot, const char* text) {
  if (m_noted.NoteText(slot, text)) Tell();
}

void CWindowRun::NoteNumber(int slot, int number) {
  if (m_noted.NoteNumber(slot, number)) Tell();
}
