#include "ui/win/Glyphs.h"

namespace qx25::win {
namespace {

constexpr COLORREF kClear = RGB(0xFF, 0x00, 0xFF);  // the mask's colour

void Box(HDC Canvas, int Left, int Top, int Right, int Bottom, COLORREF Ink, COLORREF Fill) {
  HPEN pen = CreatePen(PS_SOLID, 1, Ink);
  HBRUSH brush = CreateSolidBrush(Fill);
  HGDIOBJ oldPen = SelectObject(Canvas, pen), oldBrush = SelectObject(Canvas, brush);
  Rectangle(Canvas, Left, Top, Right, Bottom);
  SelectObject(Canvas, oldPen);
  SelectObject(Canvas, oldBrush);
  DeleteObject(pen);
  DeleteObject(brush);
}

void Line(HDC Canvas, int X0, int Y0, int X1, int Y1, COLORREF Ink, int Width) {
  HPEN pen = CreatePen(PS_SOLID, Width, Ink);
  HGDIOBJ old = SelectObject(Canvas, pen);
  MoveToEx(Canvas, X0, Y0, nullptr);
  LineTo(Canvas, X1, Y1);
  SelectObject(Canvas, old);
  DeleteObject(pen);
}

// A sheet of paper with lines of text on it.
void Sheet(HDC Canvas, int Left, int Top, int Right, int Bottom) {
  Box(Canvas, Left, Top, Right, Bottom, RGB(0x40, 0x40, 0x40), RGB(0xFF, 0xFF, 0xFF));
  for (int y = Top + 3; y < Bottom - 2; y += 2)
    Line(Canvas, Left + 2, y, Right - 2, y, RGB(0x70, 0x80, 0xA0), 1);
}

void Paint(HDC Canvas, int Glyph) {
  switch (Glyph) {
    case AddressGlyph:  // a calculator
      Box(Canvas, 2, 1, 14, 15, RGB(0x20, 0x20, 0x20), RGB(0xE8, 0xE8, 0xD0));
      Box(Canvas, 4, 3, 12, 7, RGB(0x20, 0x20, 0x20), RGB(0x90, 0xB0, 0x90));
      for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col)
          Box(Canvas, 4 + 3 * col, 8 + 3 * row, 6 + 3 * col, 10 + 3 * row, RGB(0x30, 0x30, 0x30),
              RGB(0x30, 0x30, 0x30));
      break;
    case CloseGlyph:  // an open door
      Box(Canvas, 3, 1, 13, 15, RGB(0x50, 0x30, 0x10), RGB(0x20, 0x20, 0x20));
      Box(Canvas, 4, 2, 10, 15, RGB(0x50, 0x30, 0x10), RGB(0xC0, 0x80, 0x40));
      Box(Canvas, 8, 8, 10, 10, RGB(0xF0, 0xD0, 0x40), RGB(0xF0, 0xD0, 0x40));
      break;
    case CopyGlyph:  // two sheets
      Sheet(Canvas, 1, 1, 10, 12);
      Sheet(Canvas, 6, 4, 15, 15);
      break;
    case PasteGlyph:  // a clipboard with a sheet
      Box(Canvas, 1, 2, 12, 15, RGB(0x50, 0x30, 0x10), RGB(0xC0, 0x90, 0x50));
      Box(Canvas, 4, 1, 9, 4, RGB(0x40, 0x40, 0x40), RGB(0xA0, 0xA0, 0xA0));
      Sheet(Canvas, 7, 6, 15, 15);
      break;
    case OkGlyph:  // a tick
      Line(Canvas, 3, 8, 6, 12, RGB(0x00, 0x80, 0x00), 2);
      Line(Canvas, 6, 12, 13, 3, RGB(0x00, 0x80, 0x00), 2);
      break;
    case CancelGlyph:  // a cross
      Line(Canvas, 4, 4, 12, 12, RGB(0xC0, 0x00, 0x00), 2);
      Line(Canvas, 12, 4, 4, 12, RGB(0xC0, 0x00, 0x00), 2);
      break;
  }
}

HIMAGELIST MakeGlyphs() {
  HIMAGELIST list = ImageList_Create(kGlyphSize, kGlyphSize, ILC_COLOR24 | ILC_MASK, GlyphCount, 0);
  HDC screen = GetDC(nullptr);
  HDC canvas = CreateCompatibleDC(screen);
  for (int glyph = 0; glyph < GlyphCount; ++glyph) {
    HBITMAP bitmap = CreateCompatibleBitmap(screen, kGlyphSize, kGlyphSize);
    HGDIOBJ old = SelectObject(canvas, bitmap);
    const RECT all{0, 0, kGlyphSize, kGlyphSize};
    HBRUSH clear = CreateSolidBrush(kClear);
    FillRect(canvas, &all, clear);
    DeleteObject(clear);
    Paint(canvas, glyph);
    SelectObject(canvas, old);
    ImageList_AddMasked(list, bitmap, kClear);
    DeleteObject(bitmap);
  }
  DeleteDC(canvas);
  ReleaseDC(nullptr, screen);
  return list;
}

}  // namespace

HIMAGELIST Glyphs() {
  static const HIMAGELIST list = MakeGlyphs();
  return list;
}

void DrawGlyph(HDC Canvas, int Glyph, int X, int Y, bool Disabled) {
  if (!Disabled) {
    ImageList_Draw(Glyphs(), Glyph, Canvas, X, Y, ILD_TRANSPARENT);
    return;
  }
  HICON icon = ImageList_GetIcon(Glyphs(), Glyph, ILD_NORMAL);
  DrawStateW(Canvas, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, X, Y, kGlyphSize,
             kGlyphSize, DST_ICON | DSS_DISABLED);
  DestroyIcon(icon);
}

}  // namespace qx25::win
