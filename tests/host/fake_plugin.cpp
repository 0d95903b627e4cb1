// A plug-in for the host's tests: each command exercises one side of the host's requests,
// well-formed or not, and writes what the host answered into a log the test reads back
// through the extra export FakePluginLog.
#include <windows.h>

#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host_api/host_interface.h"

namespace {

THostCallback Host = nullptr;
// Written with streams: GCC 12 warns falsely (-Wrestrict) about "text" + std::to_string(...).
std::ostringstream Log;
std::string LogText;

std::int32_t Ask(THostRequest Code, void* Data) { return Host(Code, Data); }

std::int32_t Progress(std::int32_t Percent) { return Ask(hrProgress, &Percent); }

// Reports progress until the host answers 0, then once more, then runs to the end.
void ProgressUntilCancelled() {
  int Calls = 0;
  bool Cancelled = false;
  for (; Calls < 3000 && !Cancelled; ++Calls) {
    Cancelled = Progress(Calls % 100) == 0;
    Sleep(5);
  }
  if (Cancelled)
    Log << "cancelled after " << Calls << " calls\n";
  else
    Log << "never cancelled\n";
  Log << "next answer " << Progress(50) << "\nto the end:";
  for (int Percent = 0; Percent <= 100; Percent += 25) Log << " " << Progress(Percent);
  Log << "\n";
}

// Two images the host must take, then records it must refuse, all over the same small buffer:
// a host that believed the sizes would read far past it.
void SendNewImages() {
  std::uint8_t Colour[24];
  for (int I = 0; I < 24; ++I) Colour[I] = std::uint8_t(I < 12 ? I + 1 : I + 99);
  std::uint8_t Indices[4] = {0, 1, 2, 3};
  std::uint8_t Palette[768];
  for (int I = 0; I < 256; ++I) {
    Palette[I * 3] = std::uint8_t(I);
    Palette[I * 3 + 1] = std::uint8_t(255 - I);
    Palette[I * 3 + 2] = 7;
  }
  const THostNewImage Good[] = {
      {"colour.bmp", {3, 2, 12, 3, Colour, nullptr, 0}}, // rows padded to 12 bytes
      {"indexed.bmp", {2, 2, 2, 1, Indices, Palette, 0}},
  };
  THostNewImage Bad[] = {
      {nullptr, {3, 2, 12, 3, Colour, nullptr, 0}},
      {"no pixels", {3, 2, 12, 3, nullptr, nullptr, 0}},
      {"no width", {0, 2, 12, 3, Colour, nullptr, 0}},
      {"negative height", {3, -1, 12, 3, Colour, nullptr, 0}},
      {"pixel size 2", {3, 2, 12, 2, Colour, nullptr, 0}},
      {"short lines", {3, 2, 5, 3, Colour, nullptr, 0}},
      {"negative lines", {3, 2, -12, 3, Colour, nullptr, 0}},
      {"huge", {65536, 65536, 196608, 3, Colour, nullptr, 0}},
      {"lines overflow", {1, 0x40000, 0x40000, 1, Colour, nullptr, 0}},
  };
  Log << "answers:";
  for (THostNewImage Record : Good) Log << " " << Ask(hrNewImage, &Record);
  Log << " " << Ask(hrNewImage, nullptr);
  for (THostNewImage& Record : Bad) Log << " " << Ask(hrNewImage, &Record);
  Log << "\n";
}

// Inverts the image it was given, asks for a repaint, and reports every image the host lists:
// whether it is the one given, whether its pixels are writable, its selection.
void InvertAndLookAround(const THostImage& Image) {
  for (int Y = 0; Y < Image.Height; ++Y) {
    std::uint8_t* Row = Image.Pixels + std::size_t(Y) * Image.BytesPerLine;
    for (int X = 0; X < Image.Width * Image.PixelSize; ++X) Row[X] = std::uint8_t(~Row[X]);
  }
  Ask(hrRefresh, nullptr);
  THostImageInfo Info{};
  for (Info.Index = 0; Ask(hrGetImageInfo, &Info); ++Info.Index) {
    MEMORY_BASIC_INFORMATION Memory{};
    VirtualQuery(Info.Pixels, &Memory, sizeof(Memory));
    const bool Writable = Memory.Protect & (PAGE_READWRITE | PAGE_EXECUTE_READWRITE);
    const THostRect& R = Info.SelectionRect;
    Log << "image " << Info.Index << " " << Info.Name << (Info.Pixels == Image.Pixels ? " given" : "")
        << (Writable ? " writable" : " read-only") << " rect " << R.Left << "," << R.Top << "," << R.Right << ","
        << R.Bottom;
    if (Info.SelectionMask && Info.Pixels == Image.Pixels) {
      int Selected = 0;
      for (int I = 0; I < Image.Width * Image.Height; ++I) Selected += Info.SelectionMask[I] != 0;
      Log << " mask " << Selected;
    }
    Log << "\n";
  }
}

// Requests belong to the host's GUI thread; from any other they must be refused. So must a
// request the host does not know.
void AskFromAnotherThread() {
  THostWindow Window = 0;
  std::int32_t Percent = 50;
  std::int32_t Answers[2] = {};
  std::thread Other([&] {
    Answers[0] = Ask(hrGetMainWindow, &Window);
    Answers[1] = Ask(hrProgress, &Percent);
  });
  Other.join();
  Log << "other thread answers " << Answers[0] << " " << Answers[1] << "\n";
  Log << "request 7 answered " << Ask(THostRequest(7), nullptr) << "\n";
}

// A modal loop of the plug-in's own, which dispatches the host's messages too.
void WaitInAMessageBox() {
  THostWindow Owner = 0;
  Ask(hrGetMainWindow, &Owner);
  const int Answer = MessageBoxA(reinterpret_cast<HWND>(Owner), "Waiting",
                                 "Fake plug-in", MB_OK);
  Log << "message box answered " << Answer << "\n";
}

// ============================================================================
// A dialog for the window driver: two edits, Scale, OK (default) and Cancel
// ============================================================================

enum { IdWidth = 100, IdHeight, IdScale };

std::string ItemText(HWND Dialog, int Id) {
  char Text[64] = {};
  GetDlgItemTextA(Dialog, Id, Text, sizeof(Text));
  return Text;
}

INT_PTR CALLBACK FakeDialogProc(HWND Dialog, UINT Message, WPARAM Wide, LPARAM) {
  if (Message != WM_COMMAND || HIWORD(Wide) != BN_CLICKED) return Message == WM_INITDIALOG;
  const int Id = LOWORD(Wide);
  if (Id == IdScale) Log << "scale " << ItemText(Dialog, IdWidth) << "\n";
  if (Id == IDOK || Id == IDCANCEL) {
    Log << "ended " << Id << " with " << ItemText(Dialog, IdWidth) << "," << ItemText(Dialog, IdHeight) << "\n";
    EndDialog(Dialog, Id);
  }
  return TRUE;
}

// A dialog template in memory: the header, then each item DWORD-aligned, texts as UTF-16.
class TDialogTemplate {
public:
  TDialogTemplate(const char* Caption, short Width, short Height) {
    Put(DWORD(DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU));
    Put(DWORD(0));
    CountAt = Words.size();
    Words.push_back(0);
    for (short V : {short(0), short(0), Width, Height}) Words.push_back(WORD(V));
    Words.push_back(0); // no menu
    Words.push_back(0); // the standard dialog class
    PutText(Caption);
  }
  // ClassAtom: 0x0080 button, 0x0081 edit.
  void Add(WORD ClassAtom, DWORD Style, const char* Text, WORD Id, short X, short Y, short W, short H) {
    if (Words.size() % 2) Words.push_back(0);
    Put(DWORD(WS_CHILD | WS_VISIBLE | WS_TABSTOP | Style));
    Put(DWORD(0));
    for (short V : {X, Y, W, H}) Words.push_back(WORD(V));
    Words.push_back(Id);
    Words.push_back(0xFFFF);
    Words.push_back(ClassAtom);
    PutText(Text);
    Words.push_back(0); // no creation data
    ++Words[CountAt];
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(Words.data()); }

private:
  std::vector<WORD> Words;
  std::size_t CountAt = 0;
  void Put(DWORD Value) {
    Words.push_back(WORD(Value));
    Words.push_back(WORD(Value >> 16));
  }
  void PutText(const char* Text) {
    for (; *Text; ++Text) Words.push_back(WORD(static_cast<unsigned char>(*Text)));
    Words.push_back(0);
  }
};

void ShowFakeDialog() {
  THostWindow Owner = 0;
  Ask(hrGetMainWindow, &Owner);
  TDialogTemplate Template("Fake resize", 180, 70);
  Template.Add(0x0081, ES_AUTOHSCROLL | WS_BORDER, "100", IdWidth, 10, 10, 60, 14);
  Template.Add(0x0081, ES_AUTOHSCROLL | WS_BORDER, "50", IdHeight, 80, 10, 60, 14);
  Template.Add(0x0080, BS_PUSHBUTTON, "&Scale", IdScale, 10, 45, 45, 14);
  Template.Add(0x0080, BS_DEFPUSHBUTTON, "OK", IDOK, 65, 45, 45, 14);
  Template.Add(0x0080, BS_PUSHBUTTON, "Cancel", IDCANCEL, 120, 45, 45, 14);
  DialogBoxIndirectParamA(GetModuleHandleA("fake_plugin.dll"), Template.Get(),
                          reinterpret_cast<HWND>(Owner), FakeDialogProc, 0);
}

} // namespace

extern "C" std::int32_t FR_STDCALL RegisterPlugin(THostCallback Callback) {
  Host = Callback;
  Log.str("");
  THostMenuCommand Commands[] = {
      {"Plugins", "Progress until cancelled", "", 1},
      {"Plugins", "Send new images", "", 2},
      {"Plugins", "Invert and look around", "", 3},
      {"Test tools", "Ask from another thread", "", 4},
      {"Test tools", "Wait in a message box", "", 5},
      {"Test tools", "Show a dialog", "", 6},
      {"Plugins", nullptr, "", 9},
  };
  Log << "register answers:";
  for (THostMenuCommand& Command : Commands) Log << " " << Ask(hrAddMenuCommand, &Command);
  Log << "\n";
  return 1;
}

extern "C" std::int32_t FR_STDCALL ProcessImage(std::int32_t Command, THostImage* Image) {
  Log.str("");
  switch (Command) {
    case 1: ProgressUntilCancelled(); break;
    case 2: SendNewImages(); break;
    case 3: InvertAndLookAround(*Image); break;
    case 4: AskFromAnotherThread(); break;
    case 5: WaitInAMessageBox(); break;
    case 6: ShowFakeDialog(); break;
  }
  return 40 + Command;
}

extern "C" const char* FakePluginLog() {
  LogText = Log.str();
  return LogText.c_str();
}
