// The small pictures of the glyph buttons and of the tool bar, drawn once
// with GDI into an image list.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

namespace qx25::win {

inline constexpr int kGlyphSize = 16;
enum TGlyph { AddressGlyph, CloseGlyph, CopyGlyph, PasteGlyph, OkGlyph, CancelGlyph, GlyphCount };

HIMAGELIST Glyphs();
void DrawGlyph(HDC Canvas, int Glyph, int X, int Y, bool Disabled);

}  // namespace qx25::win
