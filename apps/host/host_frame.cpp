#include "host_frame.h"

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <string>

#include "host_document.h"
#include "image_codec_wic.h"

namespace {

const char* const FrameClassName = "ResizeHostFrame";
const char* const ImageClassName = "ResizeHostImage";

enum : int {
  IdOpen = 100,
  IdSaveAs,
  IdCloseImage,
  IdExit,
  IdSelectAll,
  IdSelectNone,
  IdCascade,
  IdTile,
  IdPluginFirst = 1000, // + index of the command
  IdFirstChild = 5000,  // the Window menu's list of images
};

// What an image window knows besides its image: scroll position and a selection being dragged.
struct TImageView {
  THostFrame* Frame;
  THostDocument* Document;
  POINT Scroll{0, 0};
  bool Dragging = false;
  bool Ellipse = false; // Ctrl was held when the drag began
  POINT Start{}, End{};
};

TImageView* ViewOf(HWND Window) { return reinterpret_cast<TImageView*>(GetWindowLongPtrA(Window, GWLP_USERDATA)); }

bool IsImageWindow(HWND Window) {
  char Name[32] = {};
  GetClassNameA(Window, Name, sizeof(Name));
  return lstrcmpA(Name, ImageClassName) == 0;
}

std::string CaptionOf(const THostDocument& Document) {
  return Document.Name + "  (" + std::to_string(Document.Width()) + " x " + std::to_string(Document.Height()) + ", " +
         std::to_string(Document.PixelSize() * 8) + "-bit)";
}

// ============================================================================
// Painting and scrolling of an image window
// ============================================================================

void PaintImage(HWND Window, TImageView& View) {
  PAINTSTRUCT Paint;
  HDC Dc = BeginPaint(Window, &Paint);
  const THostDocument& D = *View.Document;
  struct {
    BITMAPINFOHEADER Header;
    RGBQUAD Colours[256];
  } Info{};
  Info.Header.biSize = sizeof(Info.Header);
  Info.Header.biWidth = D.Width();
  Info.Header.biHeight = -D.Height(); // rows top-down, as the host keeps them
  Info.Header.biPlanes = 1;
  Info.Header.biBitCount = WORD(D.PixelSize() * 8);
  Info.Header.biCompression = BI_RGB;
  if (D.PixelSize() == 1)
    for (int I = 0; I < 256; ++I)
      Info.Colours[I] = RGBQUAD{D.Palette[I * 3], D.Palette[I * 3 + 1], D.Palette[I * 3 + 2], 0};
  const int X = -View.Scroll.x, Y = -View.Scroll.y;
  SetDIBitsToDevice(Dc, X, Y, D.Width(), D.Height(), 0, 0, 0, D.Height(), D.Pixels(),
                    reinterpret_cast<BITMAPINFO*>(&Info), DIB_RGB_COLORS);
  RECT Client;
  GetClientRect(Window, &Client);
  ExcludeClipRect(Dc, X, Y, X + D.Width(), Y + D.Height());
  FillRect(Dc, &Client, GetSysColorBrush(COLOR_APPWORKSPACE));
  SelectClipRgn(Dc, nullptr);
  // The selection's bounds (an elliptic or mask selection is drawn by its bounding rectangle).
  THostRect S = D.Selection;
  if (View.Dragging)
    S = {std::min(View.Start.x, View.End.x), std::min(View.Start.y, View.End.y), std::max(View.Start.x, View.End.x),
         std::max(View.Start.y, View.End.y)};
  if (S.Left >= 0) {
    RECT Band{X + S.Left, Y + S.Top, X + S.Right + 1, Y + S.Bottom + 1};
    DrawFocusRect(Dc, &Band);
  }
  EndPaint(Window, &Paint);
}

void UpdateScrollBars(HWND Window, TImageView& View) {
  RECT Client;
  GetClientRect(Window, &Client);
  const int Sizes[2] = {View.Document->Width(), View.Document->Height()};
  const int Pages[2] = {Client.right, Client.bottom};
  LONG* Positions[2] = {&View.Scroll.x, &View.Scroll.y};
  for (int Bar = SB_HORZ; Bar <= SB_VERT; ++Bar) {
    *Positions[Bar] = std::clamp<LONG>(*Positions[Bar], 0, std::max(0, Sizes[Bar] - Pages[Bar]));
    SCROLLINFO Info{sizeof(Info), SIF_RANGE | SIF_PAGE | SIF_POS, 0, Sizes[Bar] - 1, UINT(std::max(Pages[Bar], 0)),
                    int(*Positions[Bar]), 0};
    SetScrollInfo(Window, Bar, &Info, TRUE);
  }
}

void ScrollImage(HWND Window, TImageView& View, int Bar, int Code) {
  SCROLLINFO Info{sizeof(Info), SIF_ALL, 0, 0, 0, 0, 0};
  GetScrollInfo(Window, Bar, &Info);
  LONG& Position = Bar == SB_HORZ ? View.Scroll.x : View.Scroll.y;
  switch (Code) {
    case SB_LINEUP: Position -= 16; break;
    case SB_LINEDOWN: Position += 16; break;
    case SB_PAGEUP: Position -= LONG(Info.nPage); break;
    case SB_PAGEDOWN: Position += LONG(Info.nPage); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: Position = Info.nTrackPos; break;
    default: return;
  }
  UpdateScrollBars(Window, View);
  InvalidateRect(Window, nullptr, FALSE);
}

// A mouse position in image coordinates, clamped into the image.
POINT ImagePoint(const TImageView& View, LPARAM Long) {
  const int X = short(LOWORD(Long)) + View.Scroll.x, Y = short(HIWORD(Long)) + View.Scroll.y;
  return POINT{std::clamp(X, 0, View.Document->Width() - 1), std::clamp(Y, 0, View.Document->Height() - 1)};
}

} // namespace

// ============================================================================
// Window procedures
// ============================================================================

struct TFrameProcs {
  static LRESULT CALLBACK Image(HWND Window, UINT Message, WPARAM Wide, LPARAM Long) {
    if (Message == WM_CREATE) {
      const auto* Create = reinterpret_cast<const CREATESTRUCTA*>(Long);
      const auto* Mdi = static_cast<const MDICREATESTRUCTA*>(Create->lpCreateParams);
      SetWindowLongPtrA(Window, GWLP_USERDATA, LONG_PTR(Mdi->lParam));
    }
    TImageView* View = ViewOf(Window);
    if (!View) return DefMDIChildProcA(Window, Message, Wide, Long);
    THostActions& Host = View->Frame->Host;
    switch (Message) {
      case WM_PAINT:
        PaintImage(Window, *View);
        return 0;
      case WM_ERASEBKGND:
        return 1; // WM_PAINT covers every pixel
      case WM_SIZE:
        UpdateScrollBars(Window, *View);
        break; // DefMDIChildProc must see WM_SIZE too
      case WM_HSCROLL:
      case WM_VSCROLL:
        ScrollImage(Window, *View, Message == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(Wide));
        return 0;
      case WM_LBUTTONDOWN:
        // The selection a plug-in was told about must not change under it.
        if (Host.Busy()) return 0;
        SetCapture(Window);
        View->Dragging = true;
        View->Ellipse = (Wide & MK_CONTROL) != 0;
        View->Start = View->End = ImagePoint(*View, Long);
        InvalidateRect(Window, nullptr, FALSE);
        return 0;
      case WM_MOUSEMOVE:
        if (View->Dragging) {
          View->End = ImagePoint(*View, Long);
          InvalidateRect(Window, nullptr, FALSE);
        }
        return 0;
      case WM_LBUTTONUP:
        if (View->Dragging) {
          View->Dragging = false;
          ReleaseCapture();
          const THostRect Rect{View->Start.x, View->Start.y, View->End.x, View->End.y};
          // A click without a drag selects nothing.
          if (View->Start.x == View->End.x && View->Start.y == View->End.y)
            View->Document->ClearSelection();
          else if (View->Ellipse)
            View->Document->SelectEllipse(Rect);
          else
            View->Document->SelectRectangle(Rect);
          InvalidateRect(Window, nullptr, FALSE);
        }
        return 0;
      case WM_CAPTURECHANGED:
        View->Dragging = false;
        return 0;
      case WM_CLOSE:
        View->Frame->CloseDocument(*View->Document);
        return 0;
      case WM_NCDESTROY:
        delete View;
        SetWindowLongPtrA(Window, GWLP_USERDATA, 0);
        break;
    }
    return DefMDIChildProcA(Window, Message, Wide, Long);
  }

  static LRESULT CALLBACK Frame(HWND Window, UINT Message, WPARAM Wide, LPARAM Long) {
    if (Message == WM_NCCREATE)
      SetWindowLongPtrA(Window, GWLP_USERDATA,
                        LONG_PTR(reinterpret_cast<const CREATESTRUCTA*>(Long)->lpCreateParams));
    auto* Self = reinterpret_cast<THostFrame*>(GetWindowLongPtrA(Window, GWLP_USERDATA));
    HWND Client = Self ? Self->MdiClient : nullptr;
    switch (Message) {
      case WM_CREATE: {
        CLIENTCREATESTRUCT Create{nullptr, IdFirstChild};
        Self->Frame = Window;
        Self->MdiClient = CreateWindowExA(WS_EX_CLIENTEDGE, "MDICLIENT", nullptr,
                                          WS_CHILD | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL | WS_VISIBLE, 0, 0, 0,
                                          0, Window, nullptr, GetModuleHandleA(nullptr), &Create);
        DragAcceptFiles(Window, TRUE);
        return 0;
      }
      case WM_COMMAND:
        if (LOWORD(Wide) >= IdOpen && LOWORD(Wide) < IdFirstChild) {
          Self->Command(LOWORD(Wide));
          return 0;
        }
        break;
      case WM_DROPFILES: {
        HDROP Drop = reinterpret_cast<HDROP>(Wide);
        const UINT Count = DragQueryFileA(Drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT I = 0; I < Count && !Self->Host.Busy(); ++I) {
          char Path[MAX_PATH] = {};
          DragQueryFileA(Drop, I, Path, sizeof(Path));
          Self->Host.Attempt([&] { Self->Host.Open(Path); }, {});
        }
        DragFinish(Drop);
        return 0;
      }
      case WM_CLOSE: {
        if (Self->Host.Busy()) return 0; // the plug-in still works in one of our images
        const auto& Open = Self->Host.Documents();
        const auto Unsaved = std::count_if(Open.begin(), Open.end(), [](const auto& D) { return D->Unsaved; });
        if (Unsaved == 0 || Self->Host.Confirm(std::to_string(Unsaved) + " image(s) are not saved. Quit anyway?"))
          DestroyWindow(Window);
        return 0;
      }
      case WM_DESTROY:
        if (Self->QuitOnClose) PostQuitMessage(0);
        return 0;
    }
    return DefFrameProcA(Window, Client, Message, Wide, Long);
  }
};

// ============================================================================
// THostFrame
// ============================================================================

THostFrame::THostFrame(THostActions& Owner) : Host(Owner) {
  static bool Registered = false;
  HINSTANCE Instance = GetModuleHandleA(nullptr);
  if (!Registered) {
    WNDCLASSA Class{};
    Class.hInstance = Instance;
    Class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    Class.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    Class.lpfnWndProc = TFrameProcs::Frame;
    Class.hbrBackground = GetSysColorBrush(COLOR_APPWORKSPACE);
    Class.lpszClassName = FrameClassName;
    RegisterClassA(&Class);
    Class.lpfnWndProc = TFrameProcs::Image;
    Class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_CROSS));
    Class.hbrBackground = nullptr;
    Class.lpszClassName = ImageClassName;
    RegisterClassA(&Class);
    Registered = true;
  }
  CreateWindowExA(WS_EX_ACCEPTFILES, FrameClassName, "Resize host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                  900, 700, nullptr, nullptr, Instance, this);
  if (!Frame) throw EHostError("The main window cannot be created");
  SetPluginCommands({});
  ShowWindow(Frame, SW_SHOW);
  UpdateWindow(Frame);
}

THostFrame::~THostFrame() {
  if (IsWindow(Frame)) DestroyWindow(Frame);
}

void THostFrame::AddImageWindow(THostDocument& Document) {
  RECT Area{}, Size{0, 0, Document.Width(), Document.Height()};
  GetClientRect(MdiClient, &Area);
  // Sized to show the whole image; scroll bars come (from SetScrollInfo) only when it does not fit.
  AdjustWindowRectEx(&Size, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_MDICHILD);
  const std::string Caption = CaptionOf(Document);
  MDICREATESTRUCTA Create{ImageClassName, Caption.c_str(), GetModuleHandleA(nullptr), CW_USEDEFAULT, CW_USEDEFAULT,
                          int(std::min(Size.right - Size.left, Area.right)),
                          int(std::min(Size.bottom - Size.top, Area.bottom)), 0,
                          LPARAM(new TImageView{this, &Document})};
  if (!SendMessageA(MdiClient, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&Create))) {
    delete reinterpret_cast<TImageView*>(Create.lParam);
    throw EHostError("No window for " + Document.Name);
  }
}

HWND THostFrame::ImageWindow(const THostDocument& Document) const {
  for (HWND Child = GetWindow(MdiClient, GW_CHILD); Child; Child = GetWindow(Child, GW_HWNDNEXT))
    if (IsImageWindow(Child) && ViewOf(Child) && ViewOf(Child)->Document == &Document) return Child;
  return nullptr;
}

void THostFrame::RemoveImageWindow(const THostDocument& Document) {
  if (HWND Window = ImageWindow(Document)) SendMessageA(MdiClient, WM_MDIDESTROY, WPARAM(Window), 0);
}

THostDocument* THostFrame::ActiveDocument() const {
  HWND Active = reinterpret_cast<HWND>(SendMessageA(MdiClient, WM_MDIGETACTIVE, 0, 0));
  return Active && IsImageWindow(Active) && ViewOf(Active) ? ViewOf(Active)->Document : nullptr;
}

void THostFrame::Repaint(const THostDocument& Document, bool Now) const {
  if (HWND Window = ImageWindow(Document))
    RedrawWindow(Window, nullptr, nullptr, RDW_INVALIDATE | (Now ? RDW_UPDATENOW : 0));
}

void THostFrame::SetPluginCommands(const std::vector<TPluginCommand>& Commands) {
  HMENU Bar = CreateMenu();
  HMENU File = CreatePopupMenu();
  AppendMenuA(File, MF_STRING, IdOpen, "&Open...");
  AppendMenuA(File, MF_STRING, IdSaveAs, "Save &As...");
  AppendMenuA(File, MF_STRING, IdCloseImage, "&Close");
  AppendMenuA(File, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(File, MF_STRING, IdExit, "E&xit");
  AppendMenuA(Bar, MF_POPUP, UINT_PTR(File), "&File");
  HMENU Edit = CreatePopupMenu();
  AppendMenuA(Edit, MF_STRING, IdSelectAll, "Select &All");
  AppendMenuA(Edit, MF_STRING, IdSelectNone, "Select &None");
  AppendMenuA(Bar, MF_POPUP, UINT_PTR(Edit), "&Edit");
  // One popup per menu name the plug-ins used, in order of first use; "Plugins" is always there.
  std::vector<std::pair<std::string, HMENU>> Menus{{"Plugins", CreatePopupMenu()}};
  for (std::size_t I = 0; I < Commands.size(); ++I) {
    auto Found = std::find_if(Menus.begin(), Menus.end(), [&](const auto& M) { return M.first == Commands[I].Menu; });
    if (Found == Menus.end()) Found = Menus.insert(Menus.end(), {Commands[I].Menu, CreatePopupMenu()});
    AppendMenuA(Found->second, MF_STRING, IdPluginFirst + I, Commands[I].Caption.c_str());
  }
  if (GetMenuItemCount(Menus.front().second) == 0)
    AppendMenuA(Menus.front().second, MF_STRING | MF_GRAYED, 0, "(no plug-ins loaded)");
  for (const auto& [Name, Popup] : Menus) AppendMenuA(Bar, MF_POPUP, UINT_PTR(Popup), Name.c_str());
  HMENU WindowMenu = CreatePopupMenu();
  AppendMenuA(WindowMenu, MF_STRING, IdCascade, "&Cascade");
  AppendMenuA(WindowMenu, MF_STRING, IdTile, "&Tile");
  AppendMenuA(Bar, MF_POPUP, UINT_PTR(WindowMenu), "&Window");

  HMENU Old = GetMenu(Frame);
  SendMessageA(MdiClient, WM_MDISETMENU, WPARAM(Bar), LPARAM(WindowMenu));
  DrawMenuBar(Frame);
  if (Old) DestroyMenu(Old);
}

// ============================================================================
// Menu commands
// ============================================================================

namespace {

// The common file dialog's record for a path buffer of MAX_PATH characters.
OPENFILENAMEA FileDialog(HWND Owner, const char* Filter, char* Path, DWORD Flags) {
  OPENFILENAMEA Dialog{};
  Dialog.lStructSize = sizeof(Dialog);
  Dialog.hwndOwner = Owner;
  Dialog.lpstrFilter = Filter;
  Dialog.lpstrFile = Path;
  Dialog.nMaxFile = MAX_PATH;
  Dialog.Flags = Flags | OFN_HIDEREADONLY;
  return Dialog;
}

} // namespace

void THostFrame::OpenFiles() {
  char Path[MAX_PATH] = {};
  OPENFILENAMEA Dialog = FileDialog(Frame, "Images (*.bmp, *.png, *.jpg)\0*.bmp;*.png;*.jpg;*.jpeg\0All files\0*.*\0",
                                    Path, OFN_FILEMUSTEXIST);
  if (GetOpenFileNameA(&Dialog)) Host.Open(Path);
}

void THostFrame::SaveActive() {
  THostDocument* Document = ActiveDocument();
  if (!Document) return;
  char Path[MAX_PATH] = {};
  lstrcpynA(Path, Document->Name.c_str(), sizeof(Path));
  OPENFILENAMEA Dialog =
      FileDialog(Frame, "PNG image (*.png)\0*.png\0BMP image (*.bmp)\0*.bmp\0", Path, OFN_OVERWRITEPROMPT);
  Dialog.lpstrDefExt = "png";
  if (GetSaveFileNameA(&Dialog)) Host.Save(*Document, Path);
}

void THostFrame::CloseDocument(THostDocument& Document) {
  if (Host.Busy()) {
    MessageBeep(MB_ICONEXCLAMATION); // a plug-in may be working in it
    return;
  }
  if (!Document.Unsaved || Host.Confirm(Document.Name + " is not saved. Close it anyway?")) Host.Close(Document);
}

void THostFrame::Command(int Id) {
  // While a plug-in runs, its modal loop may still dispatch our menu: nothing may start then.
  if (Host.Busy()) return;
  THostDocument* Active = ActiveDocument();
  Host.Attempt([&] {
    switch (Id) {
      case IdOpen: OpenFiles(); break;
      case IdSaveAs: SaveActive(); break;
      case IdCloseImage:
        if (Active) CloseDocument(*Active);
        break;
      case IdExit: PostMessageA(Frame, WM_CLOSE, 0, 0); break;
      case IdSelectAll:
      case IdSelectNone:
        if (!Active) break;
        if (Id == IdSelectAll)
          Active->SelectRectangle({0, 0, Active->Width() - 1, Active->Height() - 1});
        else
          Active->ClearSelection();
        Repaint(*Active);
        break;
      case IdCascade: SendMessageA(MdiClient, WM_MDICASCADE, 0, 0); break;
      case IdTile: SendMessageA(MdiClient, WM_MDITILE, MDITILE_VERTICAL, 0); break;
      default: {
        const std::size_t Index = std::size_t(Id - IdPluginFirst);
        if (Id < IdPluginFirst || Index >= Host.Commands().size()) break;
        if (!Active) {
          Host.Report("Open an image first: a plug-in command works on the active image.");
          break;
        }
        Host.Run(Host.Commands()[Index], *Active);
      }
    }
  }, {});
}
