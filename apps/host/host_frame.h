// The host's windows: an MDI frame with its menus, and one child window per open image that
// shows it (scrolled when larger) and lets the user drag a selection.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "plugin_library.h"

struct HWND__;
class THostDocument;

// What the windows ask of the host behind them. The host implements it and owns the frame, so
// the windows depend on these actions alone.
class THostActions {
public:
  virtual bool Busy() const = 0;
  // Runs Action, reporting a failure as Prefix + its reason; whether it succeeded.
  virtual bool Attempt(const std::function<void()>& Action, const std::string& Prefix) const = 0;
  virtual void Report(const std::string& Text) const = 0;
  virtual bool Confirm(const std::string& Question) const = 0;
  virtual const std::vector<std::unique_ptr<THostDocument>>& Documents() const = 0;
  virtual THostDocument& Open(const std::string& Path) = 0;
  virtual void Save(THostDocument& Document, const std::string& Path) = 0;
  virtual bool Close(THostDocument& Document) = 0;
  virtual const std::vector<TPluginCommand>& Commands() const = 0;
  virtual std::int32_t Run(const TPluginCommand& Command, THostDocument& Document) = 0;

protected:
  ~THostActions() = default;
};

class THostFrame {
public:
  explicit THostFrame(THostActions& Owner);
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
  THostActions& Host;
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
