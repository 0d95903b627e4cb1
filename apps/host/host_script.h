// The host's script: steps given as command-line options or as lines of a script file, run
// in order against the host. Each option --NAME VALUE is the line "NAME VALUE":
//
//   plugin PATH        load this plug-in (when none is named, every plug-in beside the host)
//   open FILE          open an image; it becomes the active image (a bare argument is "open")
//   select L,T,R,B     select a rectangle of the active image (inclusive); "select none"
//   ellipse L,T,R,B    select the ellipse inside that rectangle, with a selection mask
//   mask FILE          select the nonzero pixels of an image of the same size, with a mask
//   run CAPTION        run the plug-in command with that menu caption on the active image
//   save FILE          save the active image (.bmp or .png)
//   save-host FILE     save the image the last run was given, as it is now
//   save-new FILE      save the last new image the last run sent
//   wait MS            keep the windows responsive for MS milliseconds
//   exit               end the host when the script is done (status 1 if a step failed)
//   script FILE        (option only) the lines of FILE; blank lines and #-comments are skipped
#pragma once

#include <ostream>
#include <string>
#include <vector>

class THost;

struct TScriptStep {
  std::string Command;
  std::string Argument;
  std::string Origin; // "line 3 of run.txt" or "--open", for messages
};

struct TScript {
  std::vector<TScriptStep> Steps;
  bool Exit = false;      // an "exit" step was given: run as a batch, then end
  bool NamesPlugins = false; // a "plugin" step was given: load only the plug-ins named
};

// Parses the program's arguments (without the program name), reading script files they name.
// EHostError for an unknown option, a missing value or an unreadable script file.
TScript ParseArguments(const std::vector<std::string>& Arguments);
// Parses the lines of a script; Source names it in messages.
std::vector<TScriptStep> ParseScriptText(const std::string& Text, const std::string& Source);

// Runs the steps in order, one line on Log for each, and stops at the first that fails, with
// "<origin>: <reason>" reported by the host. Returns whether every step succeeded.
bool RunScript(THost& Host, const std::vector<TScriptStep>& Steps, std::ostream& Log);
