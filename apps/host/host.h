// The reference host: its open images, the plug-ins it loaded and their menu commands, and
// the requests it serves while a plug-in command runs. One host per process (the plug-in
// callback has no context argument).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host_document.h"
#include "host_frame.h"
#include "plugin_library.h"
#include "progress_window.h"

struct HWND__;

// Where the host's messages to the user go: a message box, a log line, a test's list.
using TReportSink = std::function<void(const std::string&)>;

class THost final : public THostActions {
public:
  // Creates and shows the main window. Without a sink, messages are shown in message boxes.
  explicit THost(TReportSink Report = {});
  THost(const THost&) = delete;
  THost& operator=(const THost&) = delete;
  ~THost();

  HWND__* MainWindow() const;
  HWND__* MdiClient() const; // for the message loop's MDI keys
  // Closing the main window ends the thread's message loop (the application's window).
  void SetQuitOnClose(bool Quit);
  void Report(const std::string& Text) const override;
  // Runs Action; a failure (EHostError, or running out of memory) is reported as Prefix + its
  // reason. Returns whether Action succeeded.
  bool Attempt(const std::function<void()>& Action, const std::string& Prefix = {}) const override;

  // ---- Images, in the order GetImageInfo walks them ----
  const std::vector<std::unique_ptr<THostDocument>>& Documents() const override { return OpenDocuments; }
  // Reads a file and shows it. EHostError when it cannot be read.
  THostDocument& Open(const std::string& Path) override;
  // Writes Document to a BMP or PNG file; it is no longer unsaved. EHostError on failure.
  void Save(THostDocument& Document, const std::string& Path) override;
  // Asks the user a yes-or-no Question; yes without asking when messages go to a sink.
  bool Confirm(const std::string& Question) const override;
  // Shows Document in a window of its own and makes it the active image.
  THostDocument& Add(std::unique_ptr<THostDocument> Document);
  THostDocument* ActiveDocument() const;
  // False (and the image stays) while a plug-in command works on it.
  bool Close(THostDocument& Document) override;
  void Repaint(const THostDocument& Document) const;

  // ---- Plug-ins ----
  // Loads a plug-in and registers its commands. EHostError when it is not a loadable plug-in.
  void LoadPlugin(const std::string& Path);
  // Loads every plug-in DLL in Folder; files that are not plug-ins are skipped.
  void LoadPluginsIn(const std::string& Folder);
  const std::vector<TPluginCommand>& Commands() const override { return PluginCommands; }
  const TPluginCommand* FindCommand(const std::string& Caption) const;
  bool Busy() const override { return Session.has_value(); }
  // Runs Command on Document: ProcessImage with command number and Document's own buffer.
  // Returns ProcessImage's result; EHostError while another command is running.
  std::int32_t Run(const TPluginCommand& Command, THostDocument& Document) override;
  // What the last Run was given and the images it sent (null when they were closed since).
  THostDocument* LastRunDocument() const { return LastDocument; }
  const std::vector<THostDocument*>& LastNewImages() const { return NewImages; }
  const TProgressWindow& Progress() const { return ProgressWindow; }

  // The answer to one request; the callback of every plug-in lands here.
  std::int32_t Serve(std::int32_t Code, void* Data);

private:
  struct TSession {
    const TPluginCommand* Command;
    THostDocument* Document;
    std::set<std::int32_t> UnknownRequests; // codes answered 0, reported when the run ends
  };

  TReportSink Sink;
  std::unique_ptr<THostFrame> Frame;
  unsigned long GuiThread;
  std::vector<std::unique_ptr<THostDocument>> OpenDocuments;
  std::vector<std::unique_ptr<TPluginLibrary>> Libraries;
  std::vector<TPluginCommand> PluginCommands;
  std::optional<std::size_t> Registering; // the library inside RegisterPlugin
  std::optional<TSession> Session;
  std::atomic<int> ForeignRequests{0}; // requests from other threads during the run
  TProgressWindow ProgressWindow;
  THostDocument* LastDocument = nullptr;
  std::vector<THostDocument*> NewImages;

  std::int32_t AddMenuCommand(const THostMenuCommand* Record);
  std::int32_t NewImage(const THostNewImage* Record);
  std::int32_t GetImageInfo(THostImageInfo* Info) const;
  std::int32_t ReportProgress(const std::int32_t* Percent);
  void ProtectOthers(const THostDocument* Active, bool ReadOnly);
  void ReportStrayRequests();
};
