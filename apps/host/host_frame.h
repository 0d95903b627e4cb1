// The host's windows: an MDI frame with its menus, and one child window per open image that
// shows it (scrolled when larger) and lets the user drag a selection.
#pragma once

#include <vector>

struct HWND__;
class THost;
class THostDocument;
struct TPluginCommand;

class THostFrame {
public:
  explicit THostFrame(THost& Owner);
  THostFrame(const THostFrame&) = delete;
  THostFrame& operator=(const THostFrame&) = delete;
  ~THostFrame();

  HWND__* Window() const { return Frame; }
  // The MDI client, for the message loop's TranslateMDISysAccel.
  HWND__* Client() const { return MdiClient; }
  void AddImageWindow(THostDocument& Document);
  void RemoveImageWindow(const THostDocument& Document);
  THostDocument* ActiveDocument() const;
  // Repaints Document's window: at the next paint, or before returning when Now.
  void Repaint(const THostDocument& Document, bool Now = false) const;
  // Rebuilds the menu bar: each command under the menu it names ("Plugins" for ours).
  void SetPluginCommands(const std::vector<TPluginCommand>& Commands);

  bool QuitOnClose = false;

private:
  THost& Host;
  HWND__* Frame = nullptr;
  HWND__* MdiClient = nullptr;

  HWND__* ImageWindow(const THostDocument& Document) const;
  // Closes Document's window unless a plug-in runs, asking first when it is unsaved.
  void CloseDocument(THostDocument& Document);
  void OpenFiles();
  void SaveActive();
  void Command(int Id);
  friend struct TFrameProcs;
};
