// The exchange of TLinearBitmap with the GUI toolkit's bitmap classes: a linear bitmap reads
// a toolkit TBitmap, any other TGraphic or a TPicture, and writes into a TBitmap or a
// TPicture, through its own Assign and AssignTo once the exchange is installed.
#pragma once

#include <vector>

#include "imaging/linear_bitmap.h"
#include "toolkit/graphics.h"

// Makes TLinearBitmap's Assign and AssignTo handle the toolkit's classes. Idempotent.
void InstallToolkitBitmapExchange();

// Copies Bitmap's rows into Dest, already set to Bitmap's size: unchanged bytes between equal
// formats, 8-bit through the palette into 24-bit, 16-bit grey as its high byte into 8-bit.
// Only rows 0 and 1 are looked up in Dest; the others follow from their distance. Raises
// ELinearBitmap("Unsupported pixel format") for any other pair.
void CopyToBitmap(const TLinearBitmap& Bitmap, toolkit::TBitmap& Dest);

// The toolkit's palette made from the first Count entries of Palette (each flagged reserved).
std::vector<toolkit::TPaletteEntry> MakePaletteHandle(const TPaletteTable& Palette, int Count);
// Reads up to Count entries of a toolkit palette into Palette; the entries it lacks are black.
// An empty palette reads as the grey ramp.
void ReadPaletteHandle(const std::vector<toolkit::TPaletteEntry>& Handle, int Count, TPaletteTable& Palette);
