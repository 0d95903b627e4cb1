#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "command_line.h"
#include "exit_status_of.h"
#include "image_file.h"
#include "photo_file.h"
#include "resize_job.h"
#include "test_folder.h"

namespace {

constexpr std::uint8_t ObjectRed = 255; // the object is pure red, a colour found nowhere else

struct TRect {
  int Left, Top, Right, Bottom; // Right and Bottom exclusive
  bool Holds(int X, int Y) const { return X >= Left && X < Right && Y >= Top && Y < Bottom; }
};

class ObjectRemoval : public TTestFolder {
protected:
  std::string LastStatus, LastError;

  // A textured background with the object in Object, and a protected blue stripe in Guard.
  std::string Scene(int W, int H, TRect Object, TRect Guard) {
    std::mt19937 Random(11);
    TLinearBitmap Image(W, H, lpf24Bit);
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X) {
        std::uint8_t* P = Image.PixelAddress(X, Y);
        P[0] = std::uint8_t(Random() % 200), P[1] = std::uint8_t(40 + Random() % 150), P[2] = std::uint8_t(Random() % 200);
        if (Guard.Holds(X, Y)) P[0] = 255, P[1] = 0, P[2] = 0;    // blue
        if (Object.Holds(X, Y)) P[0] = 0, P[1] = 0, P[2] = ObjectRed;
      }
    WriteImageFile(PathOf("scene.png"), Image);
    return PathOf("scene.png");
  }
  std::string Mask(const std::string& Name, int W, int H, TRect Selected) {
    return Mask(Name, W, H, std::vector<TRect>{Selected});
  }
  std::string Mask(const std::string& Name, int W, int H, const std::vector<TRect>& Selected) {
    TLinearBitmap Image(W, H, lpf8Bit);
    *Image.Palette = GreyPalette;
    for (int Y = 0; Y < H; ++Y)
      for (int X = 0; X < W; ++X)
        *Image.PixelAddress(X, Y) = std::any_of(Selected.begin(), Selected.end(), [&](TRect R) { return R.Holds(X, Y); }) ? 255 : 0;
    WriteImageFile(PathOf(Name), Image);
    return PathOf(Name);
  }
  int Run(std::vector<std::string> Args) {
    try {
      RunResizeJob(ParseCommandLine(Args), [](int) {}, [this](const std::string& Text) { LastStatus = Text; });
    } catch (const ECommandLine& E) {
      LastError = E.what();
      return E.ExitStatus;
    }
    return 0;
  }
  // Pixels of the written result of the colour (Blue, Green, Red).
  int CountOf(const TLinearBitmap& Image, std::uint8_t Blue, std::uint8_t Green, std::uint8_t Red) {
    int Count = 0;
    for (int Y = 0; Y < Image.Height; ++Y)
      for (int X = 0; X < Image.Width; ++X) {
        const std::uint8_t* P = Image.PixelAddress(X, Y);
        Count += P[0] == Blue && P[1] == Green && P[2] == Red;
      }
    return Count;
  }
};

} // namespace

TEST_F(ObjectRemoval, NothingSelectedSurvivesAndTheSizeComesBack) {
  const struct {
    const char* Name;
    TRect Object;
    bool KeepSize;
    int Width, Height; // of the result
    const char* Status;
  } Cases[] = {
      {"tall: vertical seams", {10, 5, 16, 30}, true, 48, 36, "6 vertical seams removed, 6 inserted"},
      {"wide: horizontal seams", {5, 12, 40, 16}, true, 48, 36, "4 horizontal seams removed, 4 inserted"},
      {"kept smaller", {10, 5, 16, 30}, false, 42, 36, "6 vertical seams removed"},
      {"wider than half the image", {3, 2, 45, 34}, true, 48, 36, "32 horizontal seams removed, 32 inserted"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string In = Scene(48, 36, C.Object, {0, 0, 0, 0});
    const std::string Remove = Mask("remove.png", 48, 36, C.Object);
    ASSERT_EQ(Run({In, "-o", PathOf("out.png"), "--remove", Remove, "--keep-size", C.KeepSize ? "yes" : "no"}), 0);
    const auto Out = ReadImageFile(PathOf("out.png"));
    EXPECT_EQ(Out->Width, C.Width);
    EXPECT_EQ(Out->Height, C.Height);
    EXPECT_EQ(CountOf(*Out, 0, 0, ObjectRed), 0);
    EXPECT_EQ(LastStatus, C.Status);
  }
}

TEST_F(ObjectRemoval, ProtectedPixelsStayAndMasksAreChecked) {
  const TRect Object{20, 4, 24, 32}, Guard{26, 0, 28, 36};
  const std::string In = Scene(48, 36, Object, Guard);
  const std::string Remove = Mask("remove.png", 48, 36, Object);
  const std::string Protect = Mask("protect.png", 48, 36, Guard);
  ASSERT_EQ(Run({In, "-o", PathOf("out.png"), "--remove", Remove, "--mask", Protect}), 0);
  const auto Out = ReadImageFile(PathOf("out.png"));
  EXPECT_EQ(CountOf(*Out, 0, 0, ObjectRed), 0);
  EXPECT_GE(CountOf(*Out, 255, 0, 0), 2 * 36); // the guard, perhaps widened, never narrowed
  EXPECT_EQ(Out->Width, 48);

  const std::string Small = Mask("small.png", 47, 36, Object);
  const std::string Empty = Mask("empty.png", 48, 36, {0, 0, 0, 0});
  const std::string All = Mask("all.png", 48, 36, {0, 0, 48, 36});
  EXPECT_EQ(Run({In, "-o", PathOf("x.png"), "--remove", Small}), ExitRefused);
  EXPECT_EQ(Run({In, "-o", PathOf("x.png"), "--remove", Empty}), ExitRefused);
  EXPECT_EQ(Run({In, "-o", PathOf("x.png"), "--remove", All}), ExitRefused);
  EXPECT_EQ(Run({In, "-o", PathOf("x.png"), "--remove", Remove, "--width", "40"}), ExitRefused);
  EXPECT_EQ(Run({In, "-o", PathOf("x.png"), "--keep-size", "no"}), ExitRefused);
  EXPECT_FALSE(std::filesystem::exists(PathOf("x.png")));
}

TEST_F(ObjectRemoval, TheWorkLimitComesBeforeTheWorkAndANarrowRemainderIsRefused) {
  const TRect Object{10, 5, 16, 30};
  const std::string In = Scene(48, 36, Object, {0, 0, 0, 0});
  const std::string Remove = Mask("remove.png", 48, 36, Object);
  // 6 seams out of 48 x 36 (9,720 pixels visited), 6 chosen back on a narrowing 42 x 36 (8,424).
  EXPECT_EQ(Run({In, "-o", PathOf("x.png"), "--remove", Remove, "--max-work", "0.000018"}), ExitRefused);
  EXPECT_EQ(LastError, In + ": removing the selection (at least 6 vertical seams removed, 6 inserted) is about "
                            "1.81e-05 gigapixels of work, above the limit of 0.000018 (see --max-work)");
  EXPECT_TRUE(LastStatus.empty());
  EXPECT_EQ(Run({In, "-o", PathOf("x.png"), "--remove", Remove, "--max-work", "0.000019"}), 0);

  // Known from the plan (two whole columns of three), or only once the seams are taken (two
  // opposite corners, which no one seam joins).
  const struct {
    int W, H;
    std::vector<TRect> Selected;
  } Narrow[] = {{3, 4, {{0, 0, 2, 4}}}, {3, 2, {{0, 0, 1, 1}, {2, 1, 3, 2}}}};
  for (const auto& N : Narrow) {
    const std::string In = Scene(N.W, N.H, {0, 0, 0, 0}, {0, 0, 0, 0});
    const std::string Selection = Mask("narrow.png", N.W, N.H, N.Selected);
    EXPECT_EQ(Run({In, "-o", PathOf("n.png"), "--remove", Selection}), ExitRefused) << N.H;
    EXPECT_EQ(LastError, "--remove: the selection leaves the image one pixel wide, where no seam can be inserted to "
                         "give back its size; --keep-size no keeps what is left");
    EXPECT_EQ(Run({In, "-o", PathOf("n.png"), "--remove", Selection, "--keep-size", "no"}), 0) << N.H;
    EXPECT_EQ(ReadImageFile(PathOf("n.png"))->Width, 1) << N.H;
  }
}
