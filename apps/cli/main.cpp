// featureresize: seam-carving resize of image files on the plug-in's engine.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command_line.h"
#include "image_file.h"
#include "progress_bar.h"
#include "resize_job.h"
#include "temporary_file.h"

int main(int argc, char** argv) {
  const std::vector<std::string> Args(argv + 1, argv + argc);
  TCommandLine Line;
  try {
    Line = ParseCommandLine(Args);
  } catch (const ECommandLine& E) {
    std::fprintf(stderr, "featureresize: %s\nTry 'featureresize --help' for more information.\n", E.what());
    return E.ExitStatus;
  }
  try {
    if (Line.Help) {
      std::fputs(UsageText(), stdout);
      return 0;
    }
    if (Line.Version) {
      std::printf("featureresize %s\n", FR_VERSION);
      return 0;
    }
    InstallInterruptCleanup();
    TProgressBar Bar(!Line.Quiet);
    RunResizeJob(Line, [&Bar](int Percent) { Bar.Update(Percent); },
                 [&Bar](const std::string& Status) { Bar.SetStatus(Status); });
    return 0;
  } catch (const std::exception& E) {
    const TFailureReport Report = DescribeFailure(E);
    std::fprintf(stderr, "featureresize: %s\n", Report.Message.c_str());
    return Report.ExitStatus;
  }
}
