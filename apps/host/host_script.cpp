#include "host_script.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "host.h"
#include "image_codec_wic.h"

namespace {

const char* const Commands[] = {"plugin", "open", "select", "ellipse", "mask", "run",
                                "save", "save-host", "save-new", "wait", "exit"};

bool Known(const std::string& Command) {
  return std::find(std::begin(Commands), std::end(Commands), Command) != std::end(Commands);
}

bool TakesArgument(const std::string& Command) { return Command != "exit"; }

std::string Trim(const std::string& Text) {
  const std::size_t First = Text.find_first_not_of(" \t\r\n");
  if (First == std::string::npos) return {};
  return Text.substr(First, Text.find_last_not_of(" \t\r\n") - First + 1);
}

void Add(TScript& Script, TScriptStep Step) {
  if (Step.Command == "exit") Script.Exit = true;
  if (Step.Command == "plugin") Script.NamesPlugins = true;
  Script.Steps.push_back(std::move(Step));
}

std::string ReadFile(const std::string& Path) {
  std::ifstream File(Path, std::ios::binary);
  if (!File) throw EHostError("cannot read the script " + Path);
  std::ostringstream Text;
  Text << File.rdbuf();
  return Text.str();
}

// "L,T,R,B" as an inclusive rectangle.
THostRect ParseRect(const std::string& Text) {
  THostRect R{};
  char End = 0;
  if (std::sscanf(Text.c_str(), "%d,%d,%d,%d%c", &R.Left, &R.Top, &R.Right, &R.Bottom, &End) != 4)
    throw EHostError("expected a rectangle LEFT,TOP,RIGHT,BOTTOM, not \"" + Text + "\"");
  return R;
}

THostDocument& Active(THost& Host) {
  THostDocument* Document = Host.ActiveDocument();
  if (!Document) throw EHostError("no image is open");
  return *Document;
}

// Lets the windows work (paint, timers, a user's clicks) for Milliseconds, and at least handles
// what is waiting.
void Pump(DWORD Milliseconds) {
  const DWORD Start = GetTickCount();
  for (DWORD Elapsed = 0;; Elapsed = GetTickCount() - Start) {
    MSG Message;
    while (PeekMessageA(&Message, nullptr, 0, 0, PM_REMOVE)) {
      if (Message.message == WM_QUIT) {
        PostQuitMessage(int(Message.wParam));
        return;
      }
      TranslateMessage(&Message);
      DispatchMessageA(&Message);
    }
    if (Elapsed >= Milliseconds) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, Milliseconds - Elapsed, QS_ALLINPUT);
  }
}

std::string Describe(const THostDocument& D) {
  return D.Name + ", " + std::to_string(D.Width()) + " x " + std::to_string(D.Height()) + ", " +
         std::to_string(D.PixelSize() * 8) + "-bit";
}

// Runs one step; returns what it did, for the log.
std::string RunStep(THost& Host, const TScriptStep& Step) {
  const std::string& Arg = Step.Argument;
  if (Step.Command == "plugin") {
    Host.LoadPlugin(Arg);
    return "loaded " + Arg;
  }
  if (Step.Command == "open") return "opened " + Describe(Host.Open(Arg));
  if (Step.Command == "select") {
    THostDocument& D = Active(Host);
    if (Arg == "none")
      D.ClearSelection();
    else
      D.SelectRectangle(ParseRect(Arg));
    Host.Repaint(D);
    return "selected " + Arg;
  }
  if (Step.Command == "ellipse") {
    THostDocument& D = Active(Host);
    D.SelectEllipse(ParseRect(Arg));
    Host.Repaint(D);
    return "selected the ellipse in " + Arg;
  }
  if (Step.Command == "mask") {
    THostDocument& D = Active(Host);
    D.SelectMask(*LoadImageFile(Arg));
    Host.Repaint(D);
    return "selected the mask " + Arg;
  }
  if (Step.Command == "run") {
    const TPluginCommand* Command = Host.FindCommand(Arg);
    if (!Command) throw EHostError("no plug-in command \"" + Arg + "\" is loaded");
    const std::int32_t Result = Host.Run(*Command, Active(Host));
    return "ran \"" + Arg + "\": result " + std::to_string(Result) + ", " +
           std::to_string(Host.LastNewImages().size()) + " new image(s)";
  }
  if (Step.Command == "save" || Step.Command == "save-host" || Step.Command == "save-new") {
    THostDocument* D = Step.Command == "save"        ? &Active(Host)
                       : Step.Command == "save-host" ? Host.LastRunDocument()
                       : Host.LastNewImages().empty() ? nullptr
                                                      : Host.LastNewImages().back();
    if (!D) throw EHostError(Step.Command == "save-host" ? "no plug-in command has run on an open image"
                                                          : "the last run sent no new image");
    Host.Save(*D, Arg);
    return "saved " + Describe(*D) + " as " + Arg;
  }
  if (Step.Command == "wait") {
    Pump(DWORD(std::max(0, std::atoi(Arg.c_str()))));
    return "waited " + Arg + " ms";
  }
  return "exit when done";
}

} // namespace

std::vector<TScriptStep> ParseScriptText(const std::string& Text, const std::string& Source) {
  std::vector<TScriptStep> Steps;
  std::istringstream Lines(Text);
  std::string Line;
  for (int Number = 1; std::getline(Lines, Line); ++Number) {
    Line = Trim(Line);
    if (Line.empty() || Line[0] == '#') continue;
    const std::size_t Space = Line.find_first_of(" \t");
    TScriptStep Step{Line.substr(0, Space), Space == std::string::npos ? "" : Trim(Line.substr(Space)),
                     "line " + std::to_string(Number) + " of " + Source};
    if (!Known(Step.Command)) throw EHostError(Step.Origin + ": unknown command \"" + Step.Command + "\"");
    if (TakesArgument(Step.Command) == Step.Argument.empty())
      throw EHostError(Step.Origin + ": \"" + Step.Command + "\" " +
                       (Step.Argument.empty() ? "needs a value" : "takes no value"));
    Steps.push_back(std::move(Step));
  }
  return Steps;
}

TScript ParseArguments(const std::vector<std::string>& Arguments) {
  TScript Script;
  for (std::size_t I = 0; I < Arguments.size(); ++I) {
    const std::string& Argument = Arguments[I];
    if (Argument.rfind("--", 0) != 0) {
      Add(Script, {"open", Argument, Argument});
      continue;
    }
    const std::string Name = Argument.substr(2);
    if (Name != "script" && !Known(Name)) throw EHostError("unknown option " + Argument);
    std::string Value;
    if (Name == "script" || TakesArgument(Name)) {
      if (I + 1 >= Arguments.size()) throw EHostError(Argument + " needs a value");
      Value = Arguments[++I];
    }
    if (Name == "script")
      for (TScriptStep& Step : ParseScriptText(ReadFile(Value), Value)) Add(Script, std::move(Step));
    else
      Add(Script, {Name, Value, Argument});
  }
  return Script;
}

bool RunScript(THost& Host, const std::vector<TScriptStep>& Steps, std::ostream& Log) {
  for (const TScriptStep& Step : Steps) {
    if (!Host.Attempt([&] { Log << RunStep(Host, Step) << std::endl; }, Step.Origin + ": ")) return false;
    // As between a user's actions: windows settle (paint, lay out) before the next step.
    Pump(0);
  }
  return true;
}
