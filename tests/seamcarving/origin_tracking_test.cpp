#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "engine_helpers.h"

namespace {

// Random colour with flat and busy patches, so that seams cross both.
std::unique_ptr<TLinearBitmap> Patchy(int W, int H, TLinearPixelFormat Format, unsigned Seed) {
  std::mt19937 Random(Seed);
  auto B = std::make_unique<TLinearBitmap>(W, H, Format);
  if (Format == lpf8Bit) *B->Palette = GreyPalette;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      for (int C = 0; C < B->PixelSize; ++C)
        B->PixelAddress(X, Y)[C] = std::uint8_t((X / 4 + Y / 3) % 3 == 0 ? 90 + C : Random() % 256);
  return B;
}

struct TTrackCase {
  const char* Name;
  TLinearPixelFormat Format;
  int EnlargeTo;          // 0: no widening
  int Width, Height;      // then ScaleTo
};

// Every pixel of the carved image is the one its origin names: a Source pixel, or the gamma
// average of the two pixels an insertion names, resolved in the order insertions were made.
void ExpectPixelsFollowOrigins(const TSeamCarvingComponent& Engine, const TLinearBitmap& Source) {
  const int Size = Source.PixelSize;
  const std::uint32_t SourcePixels = std::uint32_t(Source.Width) * Source.Height;
  std::vector<std::uint8_t> Made(Engine.Insertions.size() * Size);
  auto PixelOf = [&](std::uint32_t Id) -> const std::uint8_t* {
    if (Id < SourcePixels) return Source.PixelAddress(int(Id % Source.Width), int(Id / Source.Width));
    return &Made[(Id - SourcePixels) * Size];
  };
  for (std::size_t K = 0; K < Engine.Insertions.size(); ++K) {
    ASSERT_LT(Engine.Insertions[K][0], SourcePixels + K);
    ASSERT_LT(Engine.Insertions[K][1], SourcePixels + K);
    for (int C = 0; C < Size; ++C)
      Made[K * Size + C] = Engine.GammaAverage[PixelOf(Engine.Insertions[K][0])[C]][PixelOf(Engine.Insertions[K][1])[C]];
  }
  for (int Y = 0; Y < Engine.Height; ++Y)
    for (int X = 0; X < Engine.Width; ++X) {
      const std::uint32_t Id = *reinterpret_cast<const std::uint32_t*>(Engine.Origins->PixelAddress(X, Y));
      ASSERT_LT(Id, SourcePixels + Engine.Insertions.size());
      ASSERT_EQ(std::memcmp(Engine.Image->PixelAddress(X, Y), PixelOf(Id), std::size_t(Size)), 0)
          << "pixel " << X << ", " << Y;
    }
}

} // namespace

TEST(SeamCarvingOrigins, TrackedOriginsFollowEveryPixelAndChangeNothingElse) {
  const TTrackCase Cases[] = {
      {"width only", lpf24Bit, 0, 21, 17},      {"height only", lpf24Bit, 0, 30, 9},
      {"both ways", lpf24Bit, 0, 18, 11},       {"grey both ways", lpf8Bit, 0, 20, 12},
      {"widen then lower", lpf24Bit, 41, 41, 13}, {"widen grey", lpf8Bit, 37, 37, 17},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const auto Source = Patchy(30, 17, C.Format, 7);
    auto Plain = MakeEngine(*Source, 5);
    auto Tracked = MakeEngine(*Source, 5);
    Tracked->TrackOrigins = true;
    for (auto* Engine : {Plain.get(), Tracked.get()}) {
      if (C.EnlargeTo) Engine->EnlargeWidth(C.EnlargeTo);
      Engine->ScaleTo(C.Width, C.Height);
    }
    ASSERT_EQ(Tracked->Width, C.Width);
    ASSERT_EQ(Tracked->Height, C.Height);
    ASSERT_FALSE(Plain->Origins);
    EXPECT_EQ(std::memcmp(Plain->Image->Map, Tracked->Image->Map, std::size_t(Plain->Image->Size)), 0);
    EXPECT_EQ(Tracked->Insertions.size(), std::size_t(C.EnlargeTo ? (C.EnlargeTo - 30) * 17 : 0));
    ExpectPixelsFollowOrigins(*Tracked, *Source);
  }
}
