// TMenuItemEx: the drawing a styled form gives the top-level items of its main menu, a bar
// item in the system's menu colours.
#pragma once

#include "toolkit/menus.h"

class TMenuItemEx {
public:
  // Draws Item as a bar item into Rect of Canvas: the menu colour, or the highlight colour
  // while selected; a raised edge while the pointer is over it (lit on the leading side); the
  // caption centred in the menu text colour (highlight text when selected, grey when greyed
  // or disabled) with its accelerator underlined unless odNoAccel. Right to left mirrors the
  // layout: the lit edge on the right, and a caption too wide for Rect keeps its right end.
  static void DrawTopLevel(const toolkit::TMenuItem& Item, toolkit::TCanvas& Canvas, const toolkit::TRect& Rect,
                           toolkit::TOwnerDrawState State, bool RightToLeft);
  // Makes Item draw itself with DrawTopLevel in the given reading order.
  static void Attach(toolkit::TMenuItem& Item, bool RightToLeft);
};
