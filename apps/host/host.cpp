#include "host.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "image_codec_wic.h"

namespace {

THost* CurrentHost = nullptr;

std::int32_t FR_STDCALL HostCallbackEntry(std::int32_t Code, void* Data) {
  return CurrentHost ? CurrentHost->Serve(Code, Data) : 0;
}

// Texts from a plug-in are copied at most this long; a longer one is not a menu text.
std::string CopyText(const char* Text) { return Text ? std::string(Text, strnlen(Text, 1024)) : std::string(); }

} // namespace

THost::THost(TReportSink Report) : Sink(std::move(Report)), GuiThread(GetCurrentThreadId()) {
  if (CurrentHost) throw EHostError("One host per process");
  Frame = std::make_unique<THostFrame>(*this);
  CurrentHost = this;
}

THost::~THost() {
  ProgressWindow.Hide();
  Frame.reset();
  OpenDocuments.clear();
  // Plug-ins go last: their windows and threads must be gone before their code is unmapped.
  Libraries.clear();
  CurrentHost = nullptr;
}

HWND THost::MainWindow() const { return Frame->Window(); }
HWND THost::MdiClient() const { return Frame->Client(); }
void THost::SetQuitOnClose(bool Quit) { Frame->QuitOnClose = Quit; }

void THost::Report(const std::string& Text) const {
  if (Sink)
    Sink(Text);
  else
    MessageBoxA(MainWindow(), Text.c_str(), "Resize host", MB_OK | MB_ICONEXCLAMATION);
}

bool THost::Attempt(const std::function<void()>& Action, const std::string& Prefix) const {
  try {
    Action();
    return true;
  } catch (const EHostError& Error) {
    Report(Prefix + Error.Message());
  } catch (const std::bad_alloc&) {
    Report(Prefix + "Out of memory");
  }
  return false;
}

// ============================================================================
// Images
// ============================================================================

THostDocument& THost::Open(const std::string& Path) { return Add(LoadImageFile(Path)); }

void THost::Save(THostDocument& Document, const std::string& Path) {
  SaveImageFile(Document, Path);
  Document.Unsaved = false;
}

bool THost::Confirm(const std::string& Question) const {
  return Sink || MessageBoxA(MainWindow(), Question.c_str(), "Resize host", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

THostDocument& THost::Add(std::unique_ptr<THostDocument> Document) {
  // An image arriving while a plug-in runs is not the plug-in's to write either.
  if (Session) Document->SetReadOnly(true);
  OpenDocuments.push_back(std::move(Document));
  Frame->AddImageWindow(*OpenDocuments.back());
  return *OpenDocuments.back();
}

THostDocument* THost::ActiveDocument() const { return Frame->ActiveDocument(); }

bool THost::Close(THostDocument& Document) {
  if (Session) return false;
  Frame->RemoveImageWindow(Document);
  if (LastDocument == &Document) LastDocument = nullptr;
  std::erase(NewImages, &Document);
  std::erase_if(OpenDocuments, [&](const auto& Open) { return Open.get() == &Document; });
  return true;
}

void THost::Repaint(const THostDocument& Document) const { Frame->Repaint(Document); }

// ============================================================================
// Plug-ins
// ============================================================================

void THost::LoadPlugin(const std::string& Path) {
  Libraries.push_back(std::make_unique<TPluginLibrary>(Path));
  // Its answer only echoes ours to AddMenuCommand; the commands it added are what counts.
  Registering = Libraries.size() - 1;
  Libraries.back()->Register(&HostCallbackEntry);
  Registering.reset();
  Frame->SetPluginCommands(PluginCommands);
}

void THost::LoadPluginsIn(const std::string& Folder) {
  WIN32_FIND_DATAA Found;
  HANDLE Search = FindFirstFileA((Folder + "\\*.dll").c_str(), &Found);
  if (Search == INVALID_HANDLE_VALUE) return;
  do {
    try {
      LoadPlugin(Folder + "\\" + Found.cFileName);
    } catch (const EHostError&) {
      // Not every DLL beside the host is a plug-in.
    }
  } while (FindNextFileA(Search, &Found));
  FindClose(Search);
}

const TPluginCommand* THost::FindCommand(const std::string& Caption) const {
  for (const TPluginCommand& Command : PluginCommands)
    if (Command.Caption == Caption) return &Command;
  return nullptr;
}

std::int32_t THost::Run(const TPluginCommand& Command, THostDocument& Document) {
  if (Session) throw EHostError("Another plug-in command is still running");
  NewImages.clear();
  LastDocument = &Document;
  THostImage Record = Document.Record();
  Session = TSession{&Command, &Document, {}};
  ProtectOthers(&Document, true);
  struct TEnd {
    THost& Host;
    ~TEnd() {
      Host.ProtectOthers(nullptr, false);
      Host.ProgressWindow.Hide();
      Host.Session.reset();
      if (Host.LastDocument) Host.Repaint(*Host.LastDocument);
    }
  } End{*this};
  ForeignRequests = 0;
  const std::uint64_t Before = Document.Fingerprint();
  // The plug-in gets a copy of the record: whatever it writes there stays with the copy.
  const std::int32_t Result = Libraries[Command.Library]->Process(Command.Number, &Record);
  if (Document.Fingerprint() != Before) Document.Unsaved = true;
  ReportStrayRequests();
  return Result;
}

// Requests answered 0 without a word while the plug-in ran (it may still be waiting on them),
// told once at its end.
void THost::ReportStrayRequests() {
  const std::string Name = "\"" + Session->Command->Caption + "\" ";
  for (std::int32_t Code : Session->UnknownRequests)
    Report(Name + "made request " + std::to_string(Code) + ", which the host does not serve; it was answered 0.");
  if (ForeignRequests > 0)
    Report(Name + "made " + std::to_string(ForeignRequests) +
           " request(s) from a thread other than the host's window thread; they were answered 0.");
}

void THost::ProtectOthers(const THostDocument* Active, bool ReadOnly) {
  for (const auto& Document : OpenDocuments)
    if (Document.get() != Active) Document->SetReadOnly(ReadOnly);
}

// ============================================================================
// Requests
// ============================================================================

std::int32_t THost::Serve(std::int32_t Code, void* Data) {
  // The host's windows and images belong to its GUI thread; a request from any other thread
  // would race with it.
  if (GetCurrentThreadId() != GuiThread) {
    ++ForeignRequests;
    return 0;
  }
  switch (Code) {
    case hrAddMenuCommand:
      return AddMenuCommand(static_cast<const THostMenuCommand*>(Data));
    case hrNewImage:
      return NewImage(static_cast<const THostNewImage*>(Data));
    case hrGetImageInfo:
      return GetImageInfo(static_cast<THostImageInfo*>(Data));
    case hrGetMainWindow: {
      if (!Data) return 0;
      const auto Handle = reinterpret_cast<THostWindow>(MainWindow());
      std::memcpy(Data, &Handle, sizeof(Handle));
      return 1;
    }
    case hrProgress:
      return ReportProgress(static_cast<const std::int32_t*>(Data));
    case hrRefresh:
      if (Session) Frame->Repaint(*Session->Document, true);
      return 1;
    default:
      if (Session) Session->UnknownRequests.insert(Code);
      return 0;
  }
}

std::int32_t THost::AddMenuCommand(const THostMenuCommand* Record) {
  // Commands come only from a plug-in being registered: the host must know whose they are.
  if (!Registering || !Record) return 0;
  TPluginCommand Command;
  Command.Menu = CopyText(Record->Menu);
  Command.Caption = CopyText(Record->Caption);
  Command.Text = CopyText(Record->Text);
  Command.Number = Record->Command;
  Command.Library = *Registering;
  if (Command.Menu.empty() || Command.Caption.empty()) {
    Report(Libraries[*Registering]->Path() + ": a menu command without a menu or caption was refused.");
    return 0;
  }
  PluginCommands.push_back(Command);
  return 1;
}

std::int32_t THost::NewImage(const THostNewImage* Record) {
  if (!Session) return 0;
  const std::string Refused = "\"" + Session->Command->Caption + "\" sent an image the host cannot take: ";
  const std::string Problem = CheckNewImageRecord(Record);
  if (!Problem.empty()) {
    Report(Refused + Problem + ".");
    return 0;
  }
  return Attempt(
      [&] {
        auto Document = CopyNewImageRecord(*Record);
        Document->Unsaved = true;
        NewImages.push_back(&Add(std::move(Document)));
      },
      Refused);
}

std::int32_t THost::GetImageInfo(THostImageInfo* Info) const {
  if (!Session || !Info || Info->Index < 0 || Info->Index >= std::int32_t(OpenDocuments.size())) return 0;
  THostDocument& Document = *OpenDocuments[Info->Index];
  Info->Name = Document.Name.c_str();
  Info->Pixels = Document.Pixels();
  Info->SelectionMask = Document.Mask.empty() ? nullptr : Document.Mask.data();
  Info->SelectionRect = Document.Selection;
  return 1;
}

std::int32_t THost::ReportProgress(const std::int32_t* Percent) {
  if (!Session) return 1;
  std::int32_t Value = 0;
  if (Percent) std::memcpy(&Value, Percent, sizeof(Value));
  if (!ProgressWindow.Update(MainWindow(), Session->Command->Caption, Value)) {
    ProgressWindow.Hide();
    return 0;
  }
  if (Value >= 100) ProgressWindow.Hide();
  return 1;
}
