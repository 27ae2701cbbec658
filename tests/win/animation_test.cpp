// The copy animation clip opens and plays in the platform's animation control,
// and its frames, each drawn over the one before, end in the picture meant.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#ifndef CLIP_PATH
#error CLIP_PATH names the clip file
#endif

namespace {

bool stopped = false;

LRESULT CALLBACK ParentProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND && HIWORD(wp) == ACN_STOP) stopped = true;
  return DefWindowProcA(wnd, msg, wp, lp);
}

}  // namespace

TEST(AnimationClip, PlaysInTheAnimationControlToItsLastPicture) {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_ANIMATE_CLASS};
  ASSERT_TRUE(InitCommonControlsEx(&icc));
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ParentProc;
  wc.hInstance = GetModuleHandleA(NULL);
  wc.lpszClassName = "AnimationTestParent";
  ASSERT_TRUE(RegisterClassA(&wc));
  HWND parent = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, 300, 60, NULL,
                                NULL, wc.hInstance, NULL);
  ASSERT_NE(parent, nullptr);
  // 300 x 60 and centred: the clip's 260 x 40 pixels start at (20, 10).
  HWND anim = CreateWindowExA(0, ANIMATE_CLASSA, "", WS_CHILD | WS_VISIBLE | ACS_CENTER, 0, 0, 300, 60, parent,
                              (HMENU)1004, wc.hInstance, NULL);
  ASSERT_NE(anim, nullptr);
  // The clip's path on the Linux side, through Wine's drive Z: (the root).
  char path[MAX_PATH] = "Z:";
  lstrcpynA(path + 2, CLIP_PATH, MAX_PATH - 2);
  for (char* p = path; *p; p++)
    if (*p == '/') *p = '\\';
  // Opening fails when the format or its decompressor is not understood.
  ASSERT_TRUE(SendMessageA(anim, ACM_OPENA, 0, (LPARAM)path));
  // Once through every frame; the control tells its parent when it stops.
  ASSERT_TRUE(SendMessageA(anim, ACM_PLAY, 1, MAKELONG(0, 0xFFFF)));
  MSG msg;
  while (!stopped && MsgWaitForMultipleObjects(0, NULL, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0)
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  ASSERT_TRUE(stopped) << "the clip never stopped";
  RedrawWindow(anim, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
  // The last picture: the sheet in the folder, the box where it started from
  // as it was, the sky it crossed empty (the later frames hold only what
  // changed, so a frame lost or drawn over a cleared picture shows here).
  HDC dc = GetDC(anim);
  EXPECT_EQ(GetPixel(dc, 20 + 222, 10 + 14), RGB(0xFF, 0xFF, 0xFF));  // the sheet, in the folder
  EXPECT_EQ(GetPixel(dc, 20 + 26, 10 + 14), RGB(0x18, 0x30, 0x80));   // the box's lid, where it set out
  EXPECT_EQ(GetPixel(dc, 20 + 30, 10 + 25), RGB(0x30, 0x60, 0xC0));   // the box
  EXPECT_EQ(GetPixel(dc, 20 + 124, 10 + 4), RGB(0xC0, 0xC0, 0xC0));   // the top of its flight
  ReleaseDC(anim, dc);
  SendMessageA(anim, ACM_PLAY, 0, MAKELONG(1000, 1000));  // beyond the clip: must not crash
  EXPECT_TRUE(SendMessageA(anim, ACM_OPENA, 0, 0));  // closing the clip
  DestroyWindow(parent);
}
