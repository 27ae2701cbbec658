// The copy animation clip opens and plays in the platform's animation control.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#ifndef CLIP_PATH
#error CLIP_PATH names the clip file
#endif

TEST(AnimationClip, OpensAndPlaysInTheAnimationControl) {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_ANIMATE_CLASS};
  ASSERT_TRUE(InitCommonControlsEx(&icc));
  HWND anim = CreateWindowExA(0, ANIMATE_CLASSA, "", WS_POPUP | WS_VISIBLE | ACS_CENTER | ACS_TRANSPARENT, 0, 0,
                              300, 60, NULL, NULL, GetModuleHandleA(NULL), NULL);
  ASSERT_NE(anim, nullptr);
  // The clip's path on the Linux side, through Wine's drive Z: (the root).
  char path[MAX_PATH] = "Z:";
  lstrcpynA(path + 2, CLIP_PATH, MAX_PATH - 2);
  for (char* p = path; *p; p++)
    if (*p == '/') *p = '\\';
  // Opening fails when the format or its decompressor is not understood.
  EXPECT_TRUE(SendMessageA(anim, ACM_OPENA, 0, (LPARAM)path));
  EXPECT_TRUE(SendMessageA(anim, ACM_PLAY, (WPARAM)-1, MAKELONG(0, 0xFFFF)));
  MSG msg;
  for (int i = 0; i < 20 && PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE); i++) DispatchMessageA(&msg);
  SendMessageA(anim, ACM_PLAY, 0, MAKELONG(1000, 1000));  // beyond the clip: must not crash
  EXPECT_TRUE(SendMessageA(anim, ACM_OPENA, 0, 0));  // closing the clip
  DestroyWindow(anim);
}
