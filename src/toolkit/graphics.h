// Fonts, bitmaps, icons, pictures and the canvas that measures text and draws into bitmaps.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/object.h"
#include "toolkit/types.h"

namespace toolkit {

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// A font description. Height below 0 is the character height in pixels (without internal
// leading), as form descriptions give it; above 0 the cell height.
struct TFont {
  std::string Name = "MS Sans Serif";
  int Height = -11;
  TColor Color = clWindowText;
  unsigned Style = 0;
  int Charset = 1; // the default character set
  friend bool operator==(const TFont&, const TFont&) = default;
};

// Converts a system colour to its RGB value on this system; RGB colours pass unchanged.
TColor ColorToRGB(TColor Color);

// ===== Graphics =====

class TGraphic : public TAssignObject {
public:
  const char* ClassName() const override { return "TGraphic"; }
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  bool Empty() const { return Width() == 0 || Height() == 0; }
};

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

struct TPaletteEntry {
  std::uint8_t Red = 0, Green = 0, Blue = 0, Flags = 0;
  friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};

class TCanvas;

// A device-independent bitmap held in memory: rows top-down, each padded to 4 bytes, with a
// palette for the formats of 8 bits and less. pfDevice is stored as pf32bit.
class TBitmap : public TGraphic {
public:
  TBitmap();
  ~TBitmap() override;
  const char* ClassName() const override { return "TBitmap"; }

  int Width() const override { return Width_; }
  int Height() const override { return Height_; }
  // Resizing keeps the top-left pixels that still fit; new pixels are 0. Raises
  // EInvalidGraphic for negative sizes or more than 2 GiB of pixels.
  void SetWidth(int Width);
  void SetHeight(int Height);
  void SetSize(int Width, int Height);

  TPixelFormat PixelFormat() const { return PixelFormat_; }
  // Converts the pixels to Format: exact between the 8/24/32-bit formats, through the
  // palette when leaving an indexed format, nearest palette entry when entering one.
  void SetPixelFormat(TPixelFormat Format);
  int BitsPerPixel() const;
  int RowBytes() const { return RowBytes_; }

  // Address of row Y; raises EInvalidGraphic("Scan line index out of range") outside 0..Height-1.
  std::uint8_t* ScanLine(int Y);
  const std::uint8_t* ScanLine(int Y) const;

  // The palette of indexed formats (empty for the others).
  const std::vector<TPaletteEntry>& Palette() const { return Palette_; }
  void SetPalette(std::vector<TPaletteEntry> Palette);

  // Pixel colour as 0x00BBGGRR, through the palette for indexed formats; outside the bitmap
  // reads give 0 and writes are ignored.
  TColor Pixel(int X, int Y) const;
  void SetPixel(int X, int Y, TColor Color);

  // Copies another TBitmap; anything else raises "Cannot assign ...".
  void Assign(const TObject* Source) override;

  // A canvas drawing into this bitmap; lives as long as the bitmap.
  TCanvas& Canvas();

  // Reads a bitmap resource of this module (the "SpinUp" and "SpinDown" glyphs); raises
  // EResNotFound when there is no such resource.
  void LoadFromResourceName(const std::string& Name);

private:
  void Reallocate(int Width, int Height, TPixelFormat Format);
  int Width_ = 0, Height_ = 0, RowBytes_ = 0;
  TPixelFormat PixelFormat_ = TPixelFormat::pfDevice;
  std::vector<std::uint8_t> Bits_;
  std::vector<TPaletteEntry> Palette_;
  std::unique_ptr<TCanvas> Canvas_;
};

// One of the system's standard icons, 32 x 32.
enum class TSystemIcon { siNone, siApplication, siHand, siQuestion, siExclamation, siAsterisk };

// The buttons of a caption bar.
enum class TCaptionButton { cbClose, cbMaximize, cbRestore, cbMinimize, cbHelp };

class TIcon : public TGraphic {
public:
  const char* ClassName() const override { return "TIcon"; }
  int Width() const override { return Icon == TSystemIcon::siNone ? 0 : 32; }
  int Height() const override { return Width(); }
  TSystemIcon Icon = TSystemIcon::siNone;
};

// Holds one graphic of any kind.
class TPicture : public TAssignObject {
public:
  const char* ClassName() const override { return "TPicture"; }
  TGraphic* Graphic() const { return Graphic_.get(); }
  // Takes ownership of Graphic (null empties the picture).
  void SetGraphic(std::unique_ptr<TGraphic> Graphic) { Graphic_ = std::move(Graphic); }
  // The picture's bitmap; replaces any other graphic by an empty bitmap first.
  TBitmap& Bitmap();
  // The picture's icon; replaces any other graphic by an empty icon first.
  TIcon& Icon();
  // Hands the graphic to a Dest of the graphic's own class; anything else raises
  // "Cannot assign ...".
  void AssignTo(TObject* Dest) const override;

private:
  std::unique_ptr<TGraphic> Graphic_;
};

// Raised by bitmaps for bad sizes, formats and rows.
class EInvalidGraphic : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const override { return "EInvalidGraphic"; }
};

class EResNotFound : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const override { return "EResNotFound"; }
};

// ===== Canvas =====

// Text measuring with a font, and drawing into a bitmap. A canvas without a bitmap (a form's)
// measures only; its drawing operations do nothing.
class TCanvas {
public:
  explicit TCanvas(TBitmap* Target = nullptr) : Target_(Target) {}

  TFont Font;
  TColor PenColor = clBlack;
  TColor BrushColor = clWhite;

  // Size of Text on one line; the empty text has width 0 and the height of a line.
  TSize TextExtent(const std::string& Text) const;
  int TextWidth(const std::string& Text) const { return TextExtent(Text).Width; }
  int TextHeight(const std::string& Text) const { return TextExtent(Text).Height; }
  // Size of Text broken into words to fit MaxWidth, with line breaks kept and tabs expanded
  // to the next multiple of eight average characters; a word wider than MaxWidth stands alone.
  TSize MeasureWrapped(const std::string& Text, int MaxWidth) const;

  // The bitmap drawn into, or null.
  TBitmap* Target() const { return Target_; }

  void FillRect(const TRect& Rect);
  void MoveTo(int X, int Y) { PenPos_ = {X, Y}; }
  // Draws from the pen position to (X, Y), leaving out the end point as GDI does.
  void LineTo(int X, int Y);
  // Copies Graphic's pixels to (X, Y), clipped to the target; icons are drawn on BrushColor.
  void Draw(int X, int Y, const TGraphic& Graphic);
  // Copies the Source part of Bitmap to (X, Y); pixels of the colour of Bitmap's bottom-left
  // pixel are left out (the glyph convention).
  void DrawTransparent(int X, int Y, const TBitmap& Bitmap, const TRect& Source);
  // The two-pixel 3-D edge of a button face inside Rect: raised or sunken.
  void DrawEdge(const TRect& Rect, bool Raised);
  // Lines in Light along the left and top edges of Rect and in Dark along the right and
  // bottom edges, the inside filled with Fill.
  void DrawBevel(const TRect& Rect, TColor Light, TColor Fill, TColor Dark);

  // The system icon scaled into Rect, over what is drawn there (its transparent parts show it).
  void DrawIcon(const TRect& Rect, TSystemIcon Icon);
  // A caption button as the system draws it without visual styles; greyed unless Enabled.
  void DrawCaptionButton(const TRect& Rect, TCaptionButton Button, bool Enabled);
  // Draws Part in State of the visual style's "WINDOW" class (the theme API's numbers) into
  // Rect; false, drawing nothing, when visual styles are off.
  bool DrawThemePart(const TRect& Rect, int Part, int State);

  // Draws Text on one line with its top left at (X, Y), in Font, without a background.
  void TextOut(int X, int Y, const std::string& Text);
  enum TTextFlag : unsigned {
    tfVerticalCenter = 1, tfEndEllipsis = 2, tfNoPrefix = 4, tfCenter = 8, tfRight = 16, tfHidePrefix = 32
  };
  // Draws Text on one line inside Rect, clipped to it: centred vertically, centred or aligned
  // right, and cut with "..." to fit the width as Flags ask. '&' underlines the next character
  // (a line in the font's colour on the text's bottom row) unless tfNoPrefix shows it as is
  // or tfHidePrefix drops it without the line. A centred text wider than Rect keeps its start
  // at the left edge.
  void TextRect(const TRect& Rect, const std::string& Text, unsigned Flags);
  // The part of Text that TextRect shows in Width: all of it when it fits, else the longest
  // start that fits with "..." after it.
  std::string FitText(const std::string& Text, int Width) const;

private:
  TBitmap* Target_;
  TPoint PenPos_;
};

// Text as shown without its accelerator marks: each '&' is dropped, "&&" shows one '&'.
std::string StripAccelChars(const std::string& Text);

} // namespace toolkit
