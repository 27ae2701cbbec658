#include "picture.h"

#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>
#include <string.h>

#include "framework/app.h"

CPictureImage::CPictureImage() : loaded(0), width(0), height(0), stream(0), picture(0), dataSize(0) {}

CPictureImage::~CPictureImage() {
  if (picture) picture->Release();
  if (stream) stream->Release();
}

// Not loaded, and no earlier picture left to draw.
void CPictureImage::Unload() {
  loaded = 0;
  if (stream) {
    stream->Release();
    stream = 0;
  }
  if (picture) {
    picture->Release();
    picture = 0;
  }
}

// A movable block holding a copy of the bytes; null when it cannot be made.
static HGLOBAL CopyToBlock(const void* bytes, int length) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(length));
  if (!block) return 0;
  void* p = GlobalLock(block);
  if (!p) {
    GlobalFree(block);
    return 0;
  }
  memcpy(p, bytes, static_cast<size_t>(length));
  GlobalUnlock(block);
  return block;
}

// Takes the block over: the stream frees it, or it is freed here on failure.
BOOL CPictureImage::Decode(HGLOBAL block) {
  if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)) || !stream) {
    stream = 0;
    GlobalFree(block);
    return FALSE;
  }
  void* out = 0;
  if (FAILED(OleLoadPicture(stream, dataSize, TRUE, IID_IPicture, &out)) || !out) return FALSE;
  picture = static_cast<IPicture*>(out);
  short type = 0;
  picture->get_Type(&type);
  OLE_XSIZE_HIMETRIC w = 0;
  OLE_YSIZE_HIMETRIC h = 0;
  picture->get_Width(&w);
  picture->get_Height(&h);
  width = w;
  height = h;
  loaded = 1;
  return TRUE;
}

BOOL CPictureImage::LoadFromMemory(const void* bytes, int length) {
  Unload();
  if (length <= 0 || !bytes) return FALSE;
  // The decoder reads as many bytes as it is told: this picture's own count,
  // not the size of a resource loaded before.
  dataSize = length;
  HGLOBAL block = CopyToBlock(bytes, length);
  if (!block) return FALSE;
  return Decode(block);
}

BOOL CPictureImage::LoadFromResource(WORD id, const char* type) {
  Unload();
  HMODULE module = AfxGetResourceHandle();
  HRSRC res = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (!res) return FALSE;
  HGLOBAL h = LoadResource(module, res);
  const void* bytes = h ? LockResource(h) : 0;
  DWORD size = SizeofResource(module, res);
  if (!bytes || size == 0 || size > 0x7FFFFFFF) return FALSE;
  dataSize = static_cast<int>(size);
  HGLOBAL block = CopyToBlock(bytes, dataSize);
  if (!block) return FALSE;
  return Decode(block);
}

HRESULT CPictureImage::Draw(HDC dc, int x, int y, int w, int h) {
  if (!loaded || !picture) return 0;
  // Source rectangle in HIMETRIC, bottom-up: the whole picture, upright.
  return picture->Render(dc, x, y, w, h, 0, height, width, -height, 0);
}
