// A picture decoded from encoded bytes (JPEG and the other formats the OLE
// picture loader reads) or from a resource, drawn stretched into a rectangle.
#pragma once
#include "framework/platform.h"

struct IStream;
struct IPicture;

class CPictureImage {
 public:
  CPictureImage();
  virtual ~CPictureImage();

  // The object copies the bytes. FALSE (and not loaded) when they do not decode.
  BOOL LoadFromMemory(const void* bytes, int length);
  // A picture resource of the program: numeric id, type name.
  BOOL LoadFromResource(WORD id, const char* type);
  // Draws the whole picture into the rectangle; 0 when nothing is loaded.
  HRESULT Draw(HDC dc, int x, int y, int width, int height);

  bool IsLoaded() const { return loaded != 0; }

  int loaded;
  LONG width;   // HIMETRIC
  LONG height;  // HIMETRIC
  IStream* stream;
  IPicture* picture;
  int dataSize;

 private:
  void Unload();
  BOOL Decode(HGLOBAL block);
  CPictureImage(const CPictureImage&);
  CPictureImage& operator=(const CPictureImage&);
};
