#include "styled_forms/menu_item_ex.h"

#include "toolkit/forms.h"

using namespace toolkit;

void TMenuItemEx::DrawTopLevel(const TMenuItem& Item, TCanvas& Canvas, const TRect& Rect, TOwnerDrawState State,
                               bool RightToLeft) {
  const bool Selected = (State & odSelected) != 0;
  const bool Greyed = (State & (odGrayed | odDisabled)) != 0 || !Item.Enabled();
  Canvas.BrushColor = Selected ? clHighlight : clMenu;
  Canvas.FillRect(Rect);
  if (!Selected && (State & odHotLight)) {
    // A raised edge, lit along the top and the leading side, mirrored with the reading order
    // as a mirrored window would draw it.
    const int Leading = RightToLeft ? Rect.Right - 1 : Rect.Left, Trailing = RightToLeft ? Rect.Left : Rect.Right - 1;
    Canvas.PenColor = clBtnHighlight;
    Canvas.MoveTo(Rect.Left, Rect.Top);
    Canvas.LineTo(Rect.Right, Rect.Top);
    Canvas.MoveTo(Leading, Rect.Top);
    Canvas.LineTo(Leading, Rect.Bottom);
    Canvas.PenColor = clBtnShadow;
    Canvas.MoveTo(Rect.Left, Rect.Bottom - 1);
    Canvas.LineTo(Rect.Right, Rect.Bottom - 1);
    Canvas.MoveTo(Trailing, Rect.Top + 1);
    Canvas.LineTo(Trailing, Rect.Bottom);
  }
  Canvas.Font = Screen->MenuFont();
  Canvas.Font.Color = Greyed ? clGrayText : Selected ? clHighlightText : clMenuText;
  unsigned Flags = TCanvas::tfVerticalCenter | TCanvas::tfCenter;
  if (State & odNoAccel) Flags |= TCanvas::tfHidePrefix;
  if (RightToLeft && Canvas.TextWidth(StripAccelChars(Item.Caption())) > Rect.Width()) Flags |= TCanvas::tfRight;
  Canvas.TextRect(Rect, Item.Caption(), Flags);
}

void TMenuItemEx::Attach(TMenuItem& Item, bool RightToLeft) {
  Item.SetOnDrawItem([&Item, RightToLeft](TObject*, TCanvas& Canvas, const TRect& Rect, TOwnerDrawState State) {
    DrawTopLevel(Item, Canvas, Rect, State, RightToLeft);
  });
}
