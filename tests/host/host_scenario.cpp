#include "host_scenario.h"

THostDocument& HostScenario::OpenPattern(const std::string& Name, int Width, int Height, int PixelSize, int Seed) {
  auto Document = std::make_unique<THostDocument>(Name, Width, Height, PixelSize);
  for (int Y = 0; Y < Height; ++Y)
    for (int X = 0; X < Width * PixelSize; ++X) Document->Line(Y)[X] = std::uint8_t(X * 7 + Y * 13 + Seed);
  for (std::size_t I = 0; I < Document->Palette.size(); ++I) Document->Palette[I] = std::uint8_t(I * 5 + Seed);
  return Host.Add(std::move(Document));
}

std::int32_t HostScenario::Run(const std::string& Caption, THostDocument& Document, const std::function<void()>& User,
                               int GraceMs) {
  const TPluginCommand* Command = Host.FindCommand(Caption);
  EXPECT_NE(Command, nullptr) << "no command \"" << Caption << "\"";
  if (!Command) return -1;
  std::int32_t Result = -1;
  LeftOpen = driver::WhileRunning([&] { Result = Host.Run(*Command, Document); }, User, GraceMs);
  return Result;
}

std::vector<std::uint8_t> PixelsOf(const THostDocument& Document) {
  std::vector<std::uint8_t> Bytes;
  const std::size_t Row = std::size_t(Document.Width()) * Document.PixelSize();
  for (int Y = 0; Y < Document.Height(); ++Y) Bytes.insert(Bytes.end(), Document.Line(Y), Document.Line(Y) + Row);
  return Bytes;
}
