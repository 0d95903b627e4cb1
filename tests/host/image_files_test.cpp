// The host's images: files through WIC, selections, and the script's parsing.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>

#include "host_document.h"
#include "host_scenario.h"
#include "host_script.h"
#include "image_codec_wic.h"

namespace {

std::string DataFile(const char* Name) { return std::string(FR_HOST_TEST_DATA) + "/" + Name; }

std::string TempFile(const std::string& Name) {
  char Folder[MAX_PATH];
  GetTempPathA(MAX_PATH, Folder);
  return Folder + Name;
}

std::string ErrorOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const EHostError& Error) {
    return Error.Message();
  }
  return "(no error)";
}

THostDocument Pattern(int Width, int Height, int PixelSize) {
  THostDocument D("pattern", Width, Height, PixelSize);
  for (int Y = 0; Y < Height; ++Y)
    for (int X = 0; X < Width * PixelSize; ++X) D.Line(Y)[X] = std::uint8_t(X * 11 + Y * 3);
  for (std::size_t I = 0; I < D.Palette.size(); ++I) D.Palette[I] = std::uint8_t(255 - I);
  return D;
}

} // namespace

TEST(ImageFiles, SavedImagesReadBackWithTheirDepthPaletteAndPixels) {
  for (const char* Extension : {".bmp", ".png"})
    for (int PixelSize : {1, 3, 4}) {
      SCOPED_TRACE(std::string(Extension) + " " + std::to_string(PixelSize * 8) + "-bit");
      const THostDocument Saved = Pattern(7, 3, PixelSize);
      const std::string Path = TempFile("round_trip" + std::string(Extension));
      if (PixelSize == 4 && Extension == std::string(".bmp")) {
        EXPECT_EQ(ErrorOf([&] { SaveImageFile(Saved, Path); }), Path + ": an image with an alpha channel is saved as .png");
        continue;
      }
      SaveImageFile(Saved, Path);
      const auto Read = LoadImageFile(Path);
      EXPECT_EQ(Read->Name, "round_trip" + std::string(Extension));
      EXPECT_EQ(Read->PixelSize(), PixelSize);
      EXPECT_EQ(Read->BytesPerLine() % 4, 0);
      EXPECT_EQ(PixelsOf(*Read), PixelsOf(Saved));
      EXPECT_EQ(Read->Palette, Saved.Palette);
    }
}

TEST(ImageFiles, ReadsJpegGreyAndPackedIndexedImages) {
  const auto Photo = LoadImageFile(DataFile("photo.jpg"));
  EXPECT_EQ(Photo->PixelSize(), 3);
  EXPECT_EQ(Photo->Width(), 16);
  EXPECT_EQ(Photo->Height(), 8);
  EXPECT_GT(Photo->Line(0)[2], 200) << "the top row is red (B, G, R)";

  const auto Grey = LoadImageFile(DataFile("grey.png"));
  EXPECT_EQ(Grey->PixelSize(), 1);
  EXPECT_EQ(PixelsOf(*Grey), (std::vector<std::uint8_t>{0, 40, 80, 120, 160, 200, 240, 24}));
  EXPECT_EQ(Grey->Palette[200 * 3], 200);

  // 4 bits per pixel, two to a byte: index (x + 3 y) mod 16, entry i = (B 16 i, G 255 - i, R i).
  const auto Indexed = LoadImageFile(DataFile("indexed4.bmp"));
  EXPECT_EQ(Indexed->PixelSize(), 1);
  EXPECT_EQ(PixelsOf(*Indexed), (std::vector<std::uint8_t>{0, 1, 2, 3, 4, 3, 4, 5, 6, 7}));
  EXPECT_EQ(std::vector<std::uint8_t>(Indexed->Palette.begin() + 15 * 3, Indexed->Palette.begin() + 17 * 3),
            (std::vector<std::uint8_t>{240, 240, 15, 0, 0, 0}));
}

TEST(ImageFiles, UnreadableAndUnwritableFilesAreRefusedWithTheReason) {
  const std::string Missing = TempFile("missing.png");
  EXPECT_EQ(ErrorOf([&] { LoadImageFile(Missing); }), Missing + ": no such file");
  const std::string Text = TempFile("not_an_image.png");
  std::ofstream(Text) << "hello";
  EXPECT_EQ(ErrorOf([&] { LoadImageFile(Text); }).rfind(Text + ": not an image file", 0), 0u);
  // A PNG cut short after its header.
  const std::string Cut = TempFile("cut.png");
  SaveImageFile(Pattern(40, 40, 3), Cut);
  std::string Bytes;
  {
    std::ifstream In(Cut, std::ios::binary);
    Bytes.assign(std::istreambuf_iterator<char>(In), {});
  }
  std::ofstream(Cut, std::ios::binary) << Bytes.substr(0, 60);
  EXPECT_NE(ErrorOf([&] { LoadImageFile(Cut); }), "(no error)");

  EXPECT_EQ(ErrorOf([&] { SaveImageFile(Pattern(2, 2, 3), TempFile("picture.gif")); }),
            TempFile("picture.gif") + ": save as .bmp or .png");
  const std::string NoFolder = TempFile("no_such_folder\\out.png");
  EXPECT_NE(ErrorOf([&] { SaveImageFile(Pattern(2, 2, 3), NoFolder); }), "(no error)");
  EXPECT_EQ(GetFileAttributesA((NoFolder + ".partial").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Selections, RectanglesClipEllipsesAndImagesGiveMasks) {
  THostDocument D("d", 10, 6, 3);
  D.SelectRectangle({12, 8, 7, 4}); // corners swapped and reaching outside
  EXPECT_EQ(D.Selection.Left, 7);
  EXPECT_EQ(D.Selection.Top, 4);
  EXPECT_EQ(D.Selection.Right, 9);
  EXPECT_EQ(D.Selection.Bottom, 5);
  EXPECT_TRUE(D.Mask.empty());
  D.SelectRectangle({20, 20, 30, 30});
  EXPECT_EQ(D.Selection.Left, -1);

  D.SelectEllipse({0, 0, 9, 5});
  ASSERT_EQ(D.Mask.size(), 60u);
  EXPECT_EQ(D.Mask[0], 0) << "a corner is outside the ellipse";
  EXPECT_EQ(D.Mask[3 * 10 + 5], 255) << "the centre is inside";
  for (int Y = 0; Y < 6; ++Y)
    for (int X = 0; X < 10; ++X) ASSERT_EQ(D.Mask[Y * 10 + X], D.Mask[(5 - Y) * 10 + 9 - X]) << "symmetric";

  THostDocument Mask("mask.bmp", 10, 6, 1);
  Mask.Line(2)[3] = Mask.Line(4)[6] = 1;
  D.SelectMask(Mask);
  EXPECT_EQ(D.Selection.Left, 3);
  EXPECT_EQ(D.Selection.Top, 2);
  EXPECT_EQ(D.Selection.Right, 6);
  EXPECT_EQ(D.Selection.Bottom, 4);
  EXPECT_EQ(std::count(D.Mask.begin(), D.Mask.end(), 255), 2);
  EXPECT_EQ(ErrorOf([&] { D.SelectMask(THostDocument("small.bmp", 3, 3, 3)); }),
            "The mask small.bmp is 3 x 3, the image 10 x 6");
}

TEST(HostScript, OptionsAndLinesBecomeTheSameSteps) {
  const std::string File = TempFile("steps.txt");
  std::ofstream(File) << "# comment\n\n  select 1,2,3,4 \nrun Feature preserving resize\nexit\n";
  const TScript Script = ParseArguments({"a.png", "--plugin", "x.dll", "--script", File, "--save-new", "n.bmp"});
  std::vector<std::string> Steps;
  for (const TScriptStep& Step : Script.Steps) Steps.push_back(Step.Command + "|" + Step.Argument);
  EXPECT_EQ(Steps, (std::vector<std::string>{"open|a.png", "plugin|x.dll", "select|1,2,3,4",
                                             "run|Feature preserving resize", "exit|", "save-new|n.bmp"}));
  EXPECT_TRUE(Script.Exit);
  EXPECT_TRUE(Script.NamesPlugins);
  EXPECT_EQ(Script.Steps[2].Origin, "line 3 of " + File);

  const std::pair<std::vector<std::string>, std::string> Bad[] = {
      {{"--frobnicate"}, "unknown option --frobnicate"},
      {{"--open"}, "--open needs a value"},
      {{"--script", TempFile("no_script.txt")}, "cannot read the script " + TempFile("no_script.txt")},
  };
  for (const auto& [Arguments, Message] : Bad) EXPECT_EQ(ErrorOf([&] { ParseArguments(Arguments); }), Message);
  EXPECT_EQ(ErrorOf([] { ParseScriptText("open\n", "s"); }), "line 1 of s: \"open\" needs a value");
  EXPECT_EQ(ErrorOf([] { ParseScriptText("exit now\n", "s"); }), "line 1 of s: \"exit\" takes no value");
  EXPECT_EQ(ErrorOf([] { ParseScriptText("\nzoom 2\n", "s"); }), "line 2 of s: unknown command \"zoom\"");
}
