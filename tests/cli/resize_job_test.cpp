#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "command_line.h"
#include "test_folder.h"
#include "image_file.h"
#include "resize_job.h"

namespace {

namespace fs = std::filesystem;

class ResizeJob : public TTestFolder {
protected:
  std::vector<int> Progress;

  std::string Write(const std::string& Name, const TLinearBitmap& Image) {
    WriteImageFile(PathOf(Name), Image);
    return PathOf(Name);
  }

  // Runs the tool's job on Args; returns its exit status as the tool would.
  int Run(std::vector<std::string> Args) {
    try {
      RunResizeJob(ParseCommandLine(Args), [this](int Percent) { Progress.push_back(Percent); });
    } catch (const ECommandLine& E) {
      LastError = E.Message();
      return E.ExitStatus;
    }
    return 0;
  }

  std::string LastError;
};

// A 24-bit image whose every pixel has grey level 10 (so every cost is 0) and whose columns
// differ in colour: column x has blue 6x (and red 30 - 3x, which keeps 2R + 3G + B at 60).
std::unique_ptr<TLinearBitmap> FlatColumns(int W, int H) {
  auto B = std::make_unique<TLinearBitmap>(W, H, lpf24Bit);
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      std::uint8_t* P = B->PixelAddress(X, Y);
      P[0] = std::uint8_t(6 * X);
      P[1] = 0;
      P[2] = std::uint8_t(30 - 3 * X);
    }
  return B;
}

std::unique_ptr<TLinearBitmap> Noise(int W, int H, TLinearPixelFormat Format) {
  auto B = std::make_unique<TLinearBitmap>(W, H, Format);
  std::uint32_t State = 12345;
  for (int I = 0; I < B->Size; ++I) {
    State = State * 1103515245 + 12345;
    B->Map[I] = std::uint8_t(State >> 16);
  }
  if (Format == lpf8Bit)
    for (int I = 0; I < 256; ++I) (*B->Palette)[I] = {std::uint8_t(I), std::uint8_t(I / 3), std::uint8_t(255 - I)};
  return B;
}

} // namespace

TEST_F(ResizeJob, PalettisedBmpStaysPalettisedAtTheNewWidth) {
  auto Source = Noise(21, 9, lpf8Bit);
  const std::string In = Write("in.bmp", *Source);
  ASSERT_EQ(Run({In, "-o", PathOf("out.bmp"), "--width", "50%", "--height", "8"}), 0);
  auto Out = ReadImageFile(PathOf("out.bmp"));
  EXPECT_EQ(Out->Width, 10); // 10.5 rounds to even
  EXPECT_EQ(Out->Height, 8);
  EXPECT_EQ(Out->PixelFormat, lpf8Bit);
  EXPECT_EQ(std::memcmp(Out->Palette, Source->Palette, sizeof(TPaletteTable)), 0);
  ASSERT_FALSE(Progress.empty());
  EXPECT_EQ(Progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(Progress.begin(), Progress.end()));
}

TEST_F(ResizeJob, ARunThatChangesNothingWritesTheSource) {
  auto Source = Noise(7, 5, lpf24Bit);
  const std::string In = Write("in.png", *Source);
  ASSERT_EQ(Run({In, "-o", PathOf("out.bmp"), "--width", "100%"}), 0);
  auto Out = ReadImageFile(PathOf("out.bmp"));
  ASSERT_EQ(Out->Width, 7);
  EXPECT_EQ(std::memcmp(Out->Map, Source->Map, Source->Size), 0);
}

TEST_F(ResizeJob, WideningAndLoweringTogether) {
  auto Source = Noise(10, 6, lpf24Bit);
  const std::string In = Write("in.png", *Source);
  ASSERT_EQ(Run({In, "-o", PathOf("out.png"), "--width", "15", "--height", "5", "--window", "3"}), 0);
  auto Out = ReadImageFile(PathOf("out.png"));
  EXPECT_EQ(Out->Width, 15);
  EXPECT_EQ(Out->Height, 5);
  EXPECT_EQ(Progress.back(), 100);
}

TEST_F(ResizeJob, CostMapIsAGreyImageOfTheSourceSize) {
  // Two black and two white pixels in the top-left 2 x 2 corner window: the brightest real cost.
  auto Source = std::make_unique<TLinearBitmap>(4, 4, lpf8Bit);
  *Source->Palette = GreyPalette;
  for (int Y = 0; Y < 4; ++Y)
    for (int X = 0; X < 4; ++X) *Source->PixelAddress(X, Y) = X % 2 ? 255 : 0;
  const std::string In = Write("in.bmp", *Source);
  ASSERT_EQ(Run({In, "-o", PathOf("cost.png"), "--cost-map", "--window", "3"}), 0);
  auto Out = ReadImageFile(PathOf("cost.png"));
  EXPECT_EQ(Out->Width, 4);
  EXPECT_EQ(Out->Height, 4);
  EXPECT_EQ(Out->PixelFormat, lpf8Bit);
  EXPECT_EQ(Out->Map[0], 181);
}

TEST_F(ResizeJob, ProtectedSelectionKeepsItsColumns) {
  auto Source = FlatColumns(10, 3);
  auto Mask = std::make_unique<TLinearBitmap>(10, 3, lpf8Bit);
  *Mask->Palette = GreyPalette;
  for (int Y = 0; Y < 3; ++Y)
    for (int X = 0; X < 10; ++X) *Mask->PixelAddress(X, Y) = X < 3 ? 255 : 0;
  const std::string In = Write("in.png", *Source), MaskPath = Write("mask.bmp", *Mask);

  // Every cost is 0, so seams go leftmost; protected, the first three columns stay.
  ASSERT_EQ(Run({In, "-o", PathOf("plain.png"), "--width", "7"}), 0);
  EXPECT_EQ(ReadImageFile(PathOf("plain.png"))->Map[0], 6 * 3); // source column 3
  ASSERT_EQ(Run({In, "-o", PathOf("kept.png"), "--width", "7", "--mask", MaskPath}), 0);
  auto Kept = ReadImageFile(PathOf("kept.png"));
  for (int X = 0; X < 3; ++X) EXPECT_EQ(Kept->PixelAddress(X, 1)[0], 6 * X);
  EXPECT_EQ(Kept->PixelAddress(3, 1)[0], 6 * 6);
  ASSERT_EQ(Run({In, "-o", PathOf("ignored.png"), "--width", "7", "--mask", MaskPath, "--selection", "ignore"}), 0);
  EXPECT_EQ(ReadImageFile(PathOf("ignored.png"))->Map[0], 6 * 3);
}

TEST_F(ResizeJob, MasksSelectThePixelsThatAreNotBlackInEveryFormat) {
  // A palette whose index 0 is white and index 1 black: the indices alone would say the opposite.
  TPaletteTable Inverted = GreyPalette;
  std::swap(Inverted[0], Inverted[1]);
  Inverted[1] = {0, 0, 0};
  const struct {
    const char* Name;
    TLinearPixelFormat Format;
    const TPaletteTable* Palette;
    std::vector<std::uint8_t> Pixels; // two pixels
    std::vector<std::uint8_t> Selected;
  } Cases[] = {
      {"inverted.bmp", lpf8Bit, &Inverted, {0, 1}, {1, 0}},
      {"inverted.png", lpf8Bit, &Inverted, {0, 1}, {1, 0}},
      {"grey.bmp", lpf8Bit, &GreyPalette, {0, 200}, {0, 1}},
      {"grey.png", lpf8Bit, &GreyPalette, {200, 0}, {1, 0}},
      {"colour.bmp", lpf24Bit, nullptr, {0, 0, 0, 0, 0, 1}, {0, 1}},
  };
  const auto Source = Noise(2, 1, lpf24Bit);
  for (const auto& C : Cases) {
    TLinearBitmap Mask(2, 1, C.Format);
    if (C.Palette) *Mask.Palette = *C.Palette;
    std::copy(C.Pixels.begin(), C.Pixels.end(), Mask.Map);
    EXPECT_EQ(SelectionFromMask(*ReadImageFile(Write(C.Name, Mask)), *Source, C.Name), C.Selected) << C.Name;
  }
}

TEST_F(ResizeJob, RefusalsAndFailuresLeaveNoOutput) {
  auto Source = Noise(8, 6, lpf24Bit);
  const std::string In = Write("in.png", *Source);
  const std::string WrongMask = Write("mask.png", *Noise(8, 5, lpf24Bit));
  const std::string Out = PathOf("out.png");

  EXPECT_EQ(Run({In, "-o", Out, "--width", "13"}), ExitRefused);
  EXPECT_EQ(LastError, "--width 13 is out of range for this 8 x 6 image (1 to 12)");
  EXPECT_EQ(Run({In, "-o", Out, "--height", "7"}), ExitRefused);
  EXPECT_EQ(LastError, "--height 7 is out of range for this 8 x 6 image (1 to 6)");
  EXPECT_EQ(Run({In, "-o", Out, "--width", "5%"}), ExitRefused); // 0.4 pixels
  EXPECT_EQ(Run({In, "-o", Out, "--mask", WrongMask}), ExitRefused);
  EXPECT_EQ(LastError, WrongMask + ": the mask is 8 x 5 pixels but the image is 8 x 6");
  EXPECT_EQ(Run({PathOf("missing.png"), "-o", Out}), ExitFailure);
  EXPECT_EQ(Run({In, "-o", PathOf("out.gif")}), ExitRefused);
  EXPECT_FALSE(fs::exists(Out));

  // An existing output survives a failed run.
  { std::ofstream(Out) << "keep me"; }
  std::ofstream(PathOf("broken.png"), std::ios::binary) << "\x89PNG\r\n\x1a\n broken";
  EXPECT_EQ(Run({PathOf("broken.png"), "-o", Out, "--width", "50%"}), ExitFailure);
  std::ifstream Kept(Out);
  std::string Text;
  std::getline(Kept, Text);
  EXPECT_EQ(Text, "keep me");
}

TEST(ResizeWork, IsSeamsTimesTheMeanPixelsOfEachPhase) {
  const struct {
    std::int64_t W, H, NewW, NewH;
    double Work;
  } Cases[] = {
      {1, 1'000'001, 1, 500'000, 500'001 * 750'000.5}, // thin: the pixel limit alone does not bound it
      {6000, 4000, 3000, 2000, 5000 * 15e6},
      {100, 10, 150, 8, 50 * 750 + 2 * 1350}, // seams chosen on a narrowing copy, then the height lowered
      {7, 5, 7, 5, 0},
  };
  for (const auto& C : Cases) EXPECT_DOUBLE_EQ(EstimateWork(C.W, C.H, C.NewW, C.NewH), C.Work) << C.W << " x " << C.H;
  // An object removal: 7 of 10 columns removed, then inserted back in rounds of 2, 4 and 1
  // (fewer than the image is wide): 7 x 13 / 2 + 2 x 4 / 2 + 4 x 6 / 2 + 1 x 17 / 2, times the height.
  EXPECT_DOUBLE_EQ(EstimateRemovalWork({true, 7, 7}, 10, 2), 140);
  EXPECT_DOUBLE_EQ(EstimateRemovalWork({false, 7, 7}, 2, 10), 140);
  EXPECT_DOUBLE_EQ(EstimateRemovalWork({true, 7, 0}, 10, 2), 91);
}

TEST_F(ResizeJob, TheWorkLimitRefusesAJobBeforeItsWork) {
  const std::string In = Write("thin.png", *Noise(1, 2001, lpf24Bit));
  EXPECT_EQ(Run({In, "-o", PathOf("out.png"), "--height", "50%", "--max-work", "0.0015"}), ExitRefused);
  EXPECT_EQ(LastError, In + ": resizing to 1 x 1000 is about 0.0015 gigapixels of work, above the limit of 0.0015 "
                            "(see --max-work)");
  EXPECT_TRUE(Progress.empty());
  EXPECT_EQ(Run({In, "-o", PathOf("out.png"), "--height", "50%", "--max-work", "0.0016"}), 0);
  EXPECT_EQ(ReadImageFile(PathOf("out.png"))->Height, 1000);
}

TEST_F(ResizeJob, ThePixelLimitCoversSourceMaskAndResult) {
  const std::string In = Write("in.png", *Noise(8, 6, lpf24Bit)); // 48 pixels
  const std::string Mask = Write("mask.png", *Noise(8, 6, lpf8Bit));
  EXPECT_EQ(Run({In, "-o", PathOf("out.png"), "--max-megapixels", "0.000047"}), ExitRefused);
  EXPECT_EQ(LastError, In + ": image too large (8 x 6 pixels, the limit is 0.000047 megapixels; see --max-megapixels)");
  EXPECT_EQ(Run({In, "-o", PathOf("out.png"), "--max-megapixels", "0.000048", "--width", "7"}), 0);
  EXPECT_EQ(Run({In, "-o", PathOf("out.png"), "--max-megapixels", "0.00005", "--width", "9"}), ExitRefused);
  EXPECT_EQ(LastError, "the result of 9 x 6 pixels would be above the limit of --max-megapixels");
  EXPECT_EQ(Run({In, "-o", PathOf("out.png"), "--max-megapixels", "0.00005", "--mask", Mask}), 0);
}

#ifndef _WIN32
TEST_F(ResizeJob, ExistingOutputsAreReplacedInPlaceOrRefused) {
  const std::string In = Write("in.png", *Noise(8, 6, lpf24Bit));
  fs::create_directories(Folder / "real");
  auto WidthOf = [](const std::string& Path) { return ReadImageFile(Path)->Width; };
  const fs::perms Private = fs::perms::owner_read | fs::perms::owner_write;
  const struct {
    const char* What;
    std::string Name;
    std::function<void(const std::string&)> Prepare;
    int Status;
    std::function<bool(const std::string&)> Kept; // what must hold of the output afterwards
  } Cases[] = {
      {"a private file stays private", "private.png",
       [&](const std::string& P) { std::ofstream(P) << "old", fs::permissions(P, Private); }, 0,
       [&](const std::string& P) { return fs::status(P).permissions() == Private && WidthOf(P) == 4; }},
      {"a link has the file it leads to replaced", "link.png",
       [](const std::string& P) { fs::create_symlink("real/target.png", P); }, 0,
       [&](const std::string& P) { return fs::is_symlink(P) && WidthOf(PathOf("real/target.png")) == 4; }},
      {"a named pipe is refused", "pipe.png", [](const std::string& P) { mkfifo(P.c_str(), 0600); }, ExitRefused,
       [](const std::string& P) { return fs::is_fifo(P); }},
      {"a directory is refused", "folder.png", [](const std::string& P) { fs::create_directory(P); }, ExitRefused,
       [](const std::string& P) { return fs::is_empty(P); }},
      {"the longest name a folder takes", std::string(251, 'n') + ".bmp", nullptr, 0,
       [&](const std::string& P) { return WidthOf(P) == 4; }},
      {"a missing folder fails before the work", "missing/out.png", nullptr, ExitFailure,
       [this](const std::string&) { return Progress.empty(); }},
  };
  for (const auto& C : Cases) {
    const std::string Out = PathOf(C.Name);
    if (C.Prepare) C.Prepare(Out);
    Progress.clear();
    EXPECT_EQ(Run({In, "-o", Out, "--width", "4"}), C.Status) << C.What << ": " << LastError;
    EXPECT_TRUE(C.Kept(Out)) << C.What;
  }
  for (const auto& Entry : fs::recursive_directory_iterator(Folder))
    EXPECT_NE(Entry.path().filename().string().rfind(".featureresize-", 0), 0u) << Entry.path();
}
#endif
