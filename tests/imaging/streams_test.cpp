#include "imaging/streams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "message_of.h"

namespace {

namespace fs = std::filesystem;

// A private folder of temporary files per test, removed afterwards.
class StreamFiles : public ::testing::Test {
protected:
  fs::path Folder;

  void SetUp() override {
    const auto* Info = ::testing::UnitTest::GetInstance()->current_test_info();
    Folder = fs::temp_directory_path() / (std::string("fr_streams_") + Info->name() + "_" +
                                          std::to_string(std::random_device{}()));
    fs::create_directories(Folder);
  }
  void TearDown() override {
    std::error_code Ignored;
    fs::remove_all(Folder, Ignored);
  }
  std::string PathOf(const std::string& Name) const { return (Folder / Name).string(); }

  std::string WriteFile(const std::string& Name, const std::vector<std::uint8_t>& Bytes) const {
    std::ofstream Out(PathOf(Name), std::ios::binary);
    Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
    return PathOf(Name);
  }
  std::vector<std::uint8_t> ReadFile(const std::string& Path) const {
    std::ifstream In(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
  }
};

std::vector<std::uint8_t> Pattern(int Count) {
  std::vector<std::uint8_t> Bytes(static_cast<size_t>(Count));
  for (int I = 0; I < Count; ++I) Bytes[static_cast<size_t>(I)] = static_cast<std::uint8_t>(I * 7 + I / 251);
  return Bytes;
}

// An in-memory stream that takes at most WriteLimit bytes per write and records the counts
// it is asked to move.
class TRecordingStream : public TBaseStream {
public:
  std::vector<std::uint8_t> Data;
  std::vector<int> Writes;
  int WriteLimit = 1 << 30;
  bool FailWrites = false;

  TRecordingStream() { CanWrite = CanRead = true; }
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    if (FailWrites) throw EInOutError("disk full");
    Writes.push_back(Count);
    const int Taken = std::min(Count, WriteLimit);
    auto* Bytes = static_cast<const std::uint8_t*>(Buffer);
    Data.insert(Data.end(), Bytes, Bytes + Taken);
    return Taken;
  }
  std::int32_t Read(void*, std::int32_t) override { return 0; }
  std::int32_t BytesLeft() override { return 0; }
};

// Claims data it never delivers.
class TLyingStream : public TBaseStream {
public:
  TLyingStream() { CanRead = true; }
  std::int32_t Write(const void*, std::int32_t) override { return 0; }
  std::int32_t Read(void*, std::int32_t) override { return 0; }
  std::int32_t BytesLeft() override { return 100; }
};

bool StartsWith(const std::string& Text, const std::string& Prefix) {
  return Text.size() > Prefix.size() && Text.compare(0, Prefix.size(), Prefix) == 0;
}

} // namespace

// ============================================================================
// TFileStream
// ============================================================================

TEST_F(StreamFiles, ModeWithoutReadOrWriteIsRefusedBeforeTouchingTheFile) {
  const std::string Path = PathOf("never");
  EXPECT_EQ(ErrorOf([&] { TFileStream File(Path, smCreate | smShareRead); }),
            "EInOutError: Either read, write or full access must be specified in call to CreateFile");
  EXPECT_FALSE(fs::exists(Path));
}

TEST_F(StreamFiles, FailuresCarryTheFileNameAndTheSystemText) {
  const std::string Missing = PathOf("missing.bin");
  EXPECT_PRED2(StartsWith, ErrorOf([&] { TFileStream File(Missing, smRead); }),
               "EInOutError: Error opening \"" + Missing + "\" - ");

  const std::string Path = WriteFile("ten.bin", Pattern(10));
  TFileStream ReadOnly(Path, smRead);
  std::uint8_t Byte = 1;
  EXPECT_PRED2(StartsWith, MessageOf([&] { ReadOnly.Write(&Byte, 1); }), "Error writing to stream - ");
  EXPECT_PRED2(StartsWith, MessageOf([&] { ReadOnly.Truncate(); }), "Error truncating file \"" + Path + "\" - ");
  EXPECT_PRED2(StartsWith, MessageOf([&] { ReadOnly.SetPosition(-5); }), "Error moving file pointer - ");

  TFileStream WriteOnly(PathOf("out.bin"), smWrite | smCreate);
  EXPECT_PRED2(StartsWith, MessageOf([&] { WriteOnly.Read(&Byte, 1); }), "Error reading from stream - ");
}

TEST_F(StreamFiles, PositionSizeAndTruncate) {
  TFileStream File(PathOf("data.bin"), smRead | smWrite | smCreate);
  const auto Bytes = Pattern(100);
  EXPECT_EQ(File.Write(Bytes.data(), 100), 100);
  EXPECT_EQ(File.GetPosition(), 100);
  EXPECT_TRUE(File.EndOfStream());
  File.SetPosition(40);
  EXPECT_EQ(File.BytesLeft(), 60);
  File.Truncate();
  EXPECT_EQ(File.GetSize(), 40);
  File.SetPosition(0);
  std::vector<std::uint8_t> Back(40);
  EXPECT_EQ(File.Read(Back.data(), 40), 40);
  EXPECT_TRUE(std::equal(Back.begin(), Back.end(), Bytes.begin()));
}

TEST_F(StreamFiles, ShortReadRaisesOnlyWhileExact) {
  TFileStream File(WriteFile("ten.bin", Pattern(10)), smRead);
  std::uint8_t Buffer[16];
  EXPECT_EQ(ErrorOf([&] { File.Read(Buffer, 16); }), "EInOutError: Read less than expected");
  File.SetPosition(0);
  File.SetExactTransfer(false);
  EXPECT_EQ(File.Read(Buffer, 16), 10);
  EXPECT_EQ(File.Read(Buffer, 16), 0);
}

TEST_F(StreamFiles, CloseAndDeleteRemovesTheFile) {
  const std::string Path = WriteFile("gone.bin", Pattern(3));
  auto* File = new TFileStream(Path, smRead | smWrite);
  File->CloseAndDelete();
  EXPECT_FALSE(fs::exists(Path));
}

// ============================================================================
// TBufferedStream
// ============================================================================

TEST_F(StreamFiles, BufferSizesFollowTheDirectionsTheStreamBehindServes) {
  struct TCase {
    const char* Name;
    TStreamMode Mode;
    int ReadSize, WriteSize;
    const char* Error;
    int ReadBufferSize, WriteBufferSize;
  };
  const TCase Cases[] = {
      {"read size 1 over a readable file", smRead, 1, 0, "EStreamCreate: Invalid buffer size", 0, 0},
      {"write size 1 over a writable file", smWrite, 0, 1, "EStreamCreate: Invalid buffer size", 0, 0},
      {"0 disables, -1 is the default", smRead | smWrite, 0, -1, "", 0, 65536},
      {"-1 read over a readable file", smRead, -1, 7, "", 65536, 0},
      {"read size 1 over a write-only file is ignored", smWrite, 1, 2, "", 0, 2},
      {"write size 1 over a read-only file is ignored", smRead, 2, 1, "", 2, 0},
  };
  const std::string Path = WriteFile("any.bin", Pattern(4));
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TFileStream File(Path, Case.Mode);
    if (*Case.Error) {
      EXPECT_EQ(ErrorOf([&] { TBufferedStream Buffered(Case.ReadSize, Case.WriteSize, &File); }), Case.Error);
      EXPECT_TRUE(File.ExactTransfer);
      continue;
    }
    TBufferedStream Buffered(Case.ReadSize, Case.WriteSize, &File);
    EXPECT_EQ(Buffered.ReadBufferSize, Case.ReadBufferSize);
    EXPECT_EQ(Buffered.WriteBufferSize, Case.WriteBufferSize);
    EXPECT_EQ(Buffered.ReadBuffer != nullptr, Case.ReadBufferSize > 0);
    EXPECT_EQ(Buffered.WriteBuffer != nullptr, Case.WriteBufferSize > 0);
    // Only a read buffer switches the file's exact transfers off, for the buffer's lifetime.
    EXPECT_EQ(File.ExactTransfer, Case.ReadBufferSize == 0);
  }
}

TEST_F(StreamFiles, BufferedReadOfATenByteFileThenOneMoreByteRaises) {
  TBufferedStream* Stream = OpenBufferedFile(WriteFile("ten.bin", Pattern(10)), false);
  std::uint8_t Buffer[10];
  EXPECT_EQ(Stream->Read(Buffer, 10), 10);
  EXPECT_EQ(Buffer[9], Pattern(10)[9]);
  EXPECT_TRUE(Stream->EndOfStream());
  EXPECT_EQ(ErrorOf([&] { Stream->Read(Buffer, 1); }), "EInOutError: Read less than expected");
  Stream->FreeChain();
}

TEST_F(StreamFiles, BufferedReadsInAnyChunkSizesDeliverTheFile) {
  const auto Bytes = Pattern(1000);
  const std::string Path = WriteFile("data.bin", Bytes);
  // Chunks smaller than, equal to and larger than the 16-byte buffer, mixed.
  const std::vector<std::vector<int>> Plans = {{1}, {3, 20, 16, 1, 15, 100}, {16}, {17, 2}, {999, 1}};
  for (const auto& Plan : Plans) {
    TFileStream File(Path, smRead);
    TBufferedStream Buffered(16, 0, &File);
    std::vector<std::uint8_t> Got;
    for (size_t Step = 0; Got.size() < Bytes.size(); ++Step) {
      const int Want = std::min<int>(Plan[Step % Plan.size()], static_cast<int>(Bytes.size() - Got.size()));
      std::vector<std::uint8_t> Chunk(static_cast<size_t>(Want));
      ASSERT_EQ(Buffered.Read(Chunk.data(), Want), Want);
      Got.insert(Got.end(), Chunk.begin(), Chunk.end());
      EXPECT_EQ(Buffered.BytesLeft(), static_cast<int>(Bytes.size() - Got.size()));
    }
    EXPECT_EQ(Got, Bytes);
  }
}

TEST_F(StreamFiles, InexactBufferedReadReturnsWhatArrived) {
  TFileStream File(WriteFile("ten.bin", Pattern(10)), smRead);
  TBufferedStream Buffered(4, 0, &File);
  Buffered.SetExactTransfer(false);
  std::uint8_t Buffer[32];
  EXPECT_EQ(Buffered.Read(Buffer, 3), 3);
  EXPECT_EQ(Buffered.Read(Buffer, 32), 7);
  EXPECT_EQ(Buffered.Read(Buffer, 2), 0);
}

TEST_F(StreamFiles, BufferedWritesInAnyChunkSizesReachTheFile) {
  const auto Bytes = Pattern(777);
  const std::vector<std::vector<int>> Plans = {{1}, {5, 8, 9, 30, 2}, {8}, {100}};
  for (const auto& Plan : Plans) {
    const std::string Path = PathOf("out.bin");
    auto* Stream = new TBufferedStream(0, 8, new TFileStream(Path, smWrite | smCreate));
    size_t Done = 0;
    for (size_t Step = 0; Done < Bytes.size(); ++Step) {
      const int Count = std::min<int>(Plan[Step % Plan.size()], static_cast<int>(Bytes.size() - Done));
      ASSERT_EQ(Stream->Write(Bytes.data() + Done, Count), Count);
      Done += static_cast<size_t>(Count);
    }
    Stream->FreeChain();
    EXPECT_EQ(ReadFile(Path), Bytes);
  }
}

TEST(BufferedStreamWrite, ShortWriteBehindTheBufferRaisesInsteadOfReturningANegativeCount) {
  TRecordingStream Sink;
  Sink.ExactTransfer = false;
  Sink.WriteLimit = 3;
  TBufferedStream Buffered(0, 4, &Sink);
  const auto Bytes = Pattern(6);
  EXPECT_EQ(ErrorOf([&] { Buffered.Write(Bytes.data(), 6); }), "EInOutError: Write less than expected");

  TBufferedStream Waiting(0, 8, &Sink);
  EXPECT_EQ(Waiting.Write(Bytes.data(), 5), 5);
  EXPECT_EQ(ErrorOf([&] { Waiting.Flush(); }), "EInOutError: Write less than expected");
  Waiting.WriteCount = 0; // nothing more to hand on when it goes
}

TEST(BufferedStreamWrite, FreeChainReportsAFailedFinalFlushAndStillFreesEverything) {
  auto* Sink = new TRecordingStream;
  auto* Buffered = new TBufferedStream(0, 8, Sink);
  const auto Bytes = Pattern(5);
  Buffered->Write(Bytes.data(), 5);
  Sink->FailWrites = true;
  // The sanitizer build catches a leak if the chain is not freed.
  EXPECT_EQ(MessageOf([&] { Buffered->FreeChain(); }), "disk full");
}

// ============================================================================
// CopyFrom, OpenBufferedFile, TStreamClass
// ============================================================================

TEST_F(StreamFiles, CopyFromMovesChunksOf4096AndRestoresExactTransfer) {
  TFileStream Source(WriteFile("big.bin", Pattern(10000)), smRead);
  TRecordingStream Target;
  Target.CopyFrom(Source);
  EXPECT_EQ(Target.Writes, std::vector<int>({4096, 4096, 1808}));
  EXPECT_EQ(Target.Data, Pattern(10000));
  EXPECT_TRUE(Source.ExactTransfer);
}

TEST_F(StreamFiles, FailedCopyStillRestoresTheSourcesExactTransfer) {
  TFileStream Source(WriteFile("big.bin", Pattern(10)), smRead);
  TRecordingStream Target;
  Target.FailWrites = true;
  EXPECT_EQ(MessageOf([&] { Target.CopyFrom(Source); }), "disk full");
  EXPECT_TRUE(Source.ExactTransfer);
}

TEST(CopyFrom, SourceThatDeliversNothingEndsTheCopy) {
  TLyingStream Source;
  TRecordingStream Target;
  Target.CopyFrom(Source);
  EXPECT_TRUE(Target.Writes.empty());
}

TEST_F(StreamFiles, StreamClassSavesAnEmptyFileAndLoadsItBack) {
  TStreamClass Object;
  const std::string Path = PathOf("object.bin");
  Object.SaveToFile(Path);
  EXPECT_TRUE(fs::exists(Path));
  EXPECT_EQ(fs::file_size(Path), 0u);
  Object.LoadFromFile(Path);
  EXPECT_PRED2(StartsWith, MessageOf([&] { Object.LoadFromFile(PathOf("missing")); }), "Error opening");
}

TEST_F(StreamFiles, BufferedFileForWritingReplacesTheOldContents) {
  const std::string Path = WriteFile("old.bin", Pattern(50));
  TBufferedStream* Stream = OpenBufferedFile(Path, true);
  EXPECT_EQ(Stream->ReadBufferSize, 0);
  EXPECT_EQ(Stream->WriteBufferSize, DefaultBufferSize);
  const auto Bytes = Pattern(3);
  Stream->Write(Bytes.data(), 3);
  Stream->FreeChain();
  EXPECT_EQ(ReadFile(Path), Bytes);
}
