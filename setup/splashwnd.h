// The optional full-screen background window behind the wizard (dialog 139):
// a solid colour or the stretched background picture. It takes no input.
#pragma once
#include "common/picture.h"
#include "framework/dialog.h"

class CSplashWnd : public CDialog {
 public:
  CSplashWnd();

  COLORREF m_color;  // 0x00BBGGRR
  HBRUSH m_brush;    // made at initialisation, freed with the window
  CString m_caption;
  BOOL m_captionBar;                // the window keeps its caption bar
  CPictureImage* m_picture;  // drawn over the whole window when loaded

  BOOL PreTranslateMessage(MSG* msg);

 protected:
  BOOL OnInitDialog();
  BOOL OnPaint();
  HBRUSH OnCtlColor(HDC dc, HWND ctl, UINT ctlType);
  void OnDestroy();
};
