#include "imaging/streams.h"

#include <cstring>
#include <exception>

#include "imaging/platform_file.h"

namespace {

[[noreturn]] void RaiseSystemError(const std::string& Prefix) {
  throw EInOutError(Prefix + PlatformFile::LastErrorText());
}

std::string Quoted(const std::string& FileName) { return "\"" + FileName + "\""; }

// Restores a stream's ExactTransfer flag when a copy ends, also by an exception.
class TExactTransferScope {
public:
  explicit TExactTransferScope(TBaseStream& Stream) : Stream_(Stream), Saved_(Stream.ExactTransfer) {
    if (Saved_) Stream_.SetExactTransfer(false);
  }
  ~TExactTransferScope() {
    if (Saved_) Stream_.SetExactTransfer(true);
  }
  TExactTransferScope(const TExactTransferScope&) = delete;
  TExactTransferScope& operator=(const TExactTransferScope&) = delete;

private:
  TBaseStream& Stream_;
  bool Saved_;
};

constexpr std::int32_t CopyChunkSize = 4096;

} // namespace

// ============================================================================
// TBaseStream, TFilterStream
// ============================================================================

void TBaseStream::SetExactTransfer(bool Value) { ExactTransfer = Value; }

bool TBaseStream::EndOfStream() { return BytesLeft() == 0; }

void TBaseStream::CopyFrom(TBaseStream& Source) {
  TExactTransferScope Inexact(Source);
  std::uint8_t Chunk[CopyChunkSize];
  while (!Source.EndOfStream()) {
    const std::int32_t Got = Source.Read(Chunk, CopyChunkSize);
    // A source that claims more data but delivers none would otherwise loop for ever.
    if (Got <= 0) break;
    Write(Chunk, Got);
  }
}

TFilterStream::TFilterStream(TBaseStream* Next) : Next(Next) {}

void TFilterStream::SetExactTransfer(bool Value) {
  ExactTransfer = Value;
  Next->SetExactTransfer(Value);
}

std::int32_t TFilterStream::Write(const void* Buffer, std::int32_t Count) {
  return Next->Write(Buffer, Count);
}

std::int32_t TFilterStream::Read(void* Buffer, std::int32_t Count) {
  return Next->Read(Buffer, Count);
}

std::int32_t TFilterStream::BytesLeft() { return Next->BytesLeft(); }

void TFilterStream::FreeChain() {
  std::exception_ptr FirstFailure;
  TBaseStream* Stream = this;
  while (Stream) {
    auto* Filter = dynamic_cast<TFilterStream*>(Stream);
    TBaseStream* Behind = Filter ? Filter->Next : nullptr;
    // A filter's destructor cannot report a failed flush, so flush while we still can raise.
    try {
      if (Filter) Filter->Flush();
    } catch (...) {
      if (!FirstFailure) FirstFailure = std::current_exception();
    }
    delete Stream;
    Stream = Behind;
  }
  if (FirstFailure) std::rethrow_exception(FirstFailure);
}

// ============================================================================
// TFileStream
// ============================================================================

TFileStream::TFileStream(const std::string& FileName, TStreamMode Mode) : FileName(FileName) {
  if (!(Mode & (smRead | smWrite)))
    throw EInOutError("Either read, write or full access must be specified in call to CreateFile");
  CanRead = Mode & smRead;
  CanWrite = Mode & smWrite;
  Handle = PlatformFile::Open(FileName, Mode);
  if (Handle == PlatformFile::InvalidHandle)
    RaiseSystemError("Error opening " + Quoted(FileName) + " - ");
}

TFileStream::~TFileStream() {
  if (Handle != PlatformFile::InvalidHandle) PlatformFile::Close(Handle);
}

std::int32_t TFileStream::Write(const void* Buffer, std::int32_t Count) {
  if (Count <= 0) return 0;
  std::int32_t Done = 0;
  if (!PlatformFile::Write(Handle, Buffer, Count, Done)) RaiseSystemError("Error writing to stream - ");
  if (ExactTransfer && Done != Count) throw EInOutError("Write less than expected");
  return Done;
}

std::int32_t TFileStream::Read(void* Buffer, std::int32_t Count) {
  if (Count <= 0) return 0;
  std::int32_t Done = 0;
  if (!PlatformFile::Read(Handle, Buffer, Count, Done)) RaiseSystemError("Error reading from stream - ");
  if (ExactTransfer && Done != Count) throw EInOutError("Read less than expected");
  return Done;
}

std::int32_t TFileStream::BytesLeft() { return GetSize() - GetPosition(); }

void TFileStream::Flush() { PlatformFile::FlushBuffers(Handle); }

std::int32_t TFileStream::GetPosition() {
  const std::int32_t Position = PlatformFile::Seek(Handle, 0, true);
  if (Position == -1) RaiseSystemError("IO-error: ");
  return Position;
}

std::int32_t TFileStream::GetSize() {
  const std::int32_t Size = PlatformFile::FileSize(Handle);
  if (Size == -1) RaiseSystemError("IO-error: ");
  return Size;
}

void TFileStream::SetPosition(std::int32_t Position) {
  if (PlatformFile::Seek(Handle, Position, false) == -1)
    RaiseSystemError("Error moving file pointer - ");
}

void TFileStream::Truncate() {
  if (!PlatformFile::Truncate(Handle))
    RaiseSystemError("Error truncating file " + Quoted(FileName) + " - ");
}

void TFileStream::CloseAndDelete() {
  // The object goes whatever happens; the guard deletes it after the error text is taken.
  struct TDeleteSelf {
    TFileStream* Self;
    ~TDeleteSelf() { delete Self; }
  } Guard{this};
  const PlatformFile::THandle Closing = Handle;
  Handle = PlatformFile::InvalidHandle;
  if (!PlatformFile::Close(Closing)) RaiseSystemError("Error closing " + Quoted(FileName) + " - ");
  if (!PlatformFile::Delete(FileName)) RaiseSystemError("Error deleting " + Quoted(FileName) + " - ");
}

// ============================================================================
// TBufferedStream
// ============================================================================

namespace {

// -1 means the default; 0 or a direction the stream behind cannot serve means no buffer.
std::uint8_t* MakeBuffer(bool Usable, std::int32_t& BufferSize) {
  if (BufferSize == -1) BufferSize = DefaultBufferSize;
  if (!Usable || BufferSize == 0) {
    BufferSize = 0;
    return nullptr;
  }
  if (BufferSize < 2) throw EStreamCreate("Invalid buffer size");
  return static_cast<std::uint8_t*>(AllocMem(static_cast<std::size_t>(BufferSize)));
}

} // namespace

TBufferedStream::TBufferedStream(std::int32_t ReadSize, std::int32_t WriteSize, TBaseStream* Next)
    : TFilterStream(Next) {
  CanRead = Next->CanRead;
  CanWrite = Next->CanWrite;
  ExactTransfer = Next->ExactTransfer;
  try {
    ReadBufferSize = ReadSize;
    ReadBuffer = MakeBuffer(CanRead, ReadBufferSize);
    WriteBufferSize = WriteSize;
    WriteBuffer = MakeBuffer(CanWrite, WriteBufferSize);
  } catch (...) {
    FreeMemAndNil(ReadBuffer);
    throw;
  }
  // Filling the read buffer may legitimately hit the end of the data.
  RestoreNextExact = ReadBuffer && ExactTransfer;
  if (RestoreNextExact) Next->SetExactTransfer(false);
}

TBufferedStream::~TBufferedStream() {
  if (WriteBuffer) {
    try {
      Flush();
    } catch (...) {
      // Nowhere to report it from here; FreeChain flushes first and does report it.
    }
    FreeMemAndNil(WriteBuffer);
  }
  FreeMemAndNil(ReadBuffer);
  if (RestoreNextExact) Next->SetExactTransfer(true);
}

std::int32_t TBufferedStream::Read(void* Buffer, std::int32_t Count) {
  if (!ReadBuffer) return Next->Read(Buffer, Count);
  if (Count <= 0) return 0;
  auto* Target = static_cast<std::uint8_t*>(Buffer);
  const std::int32_t Waiting = ReadCount - ReadPos;
  if (Count <= Waiting) {
    std::memcpy(Target, ReadBuffer + ReadPos, static_cast<std::size_t>(Count));
    ReadPos += Count;
    return Count;
  }
  std::memcpy(Target, ReadBuffer + ReadPos, static_cast<std::size_t>(Waiting));
  const std::int32_t Rest = Count - Waiting;
  std::int32_t Arrived;
  if (Rest >= ReadBufferSize) {
    ReadPos = ReadCount = 0;
    Arrived = Next->Read(Target + Waiting, Rest);
  } else {
    ReadPos = ReadCount = 0;
    const std::int32_t Filled = Next->Read(ReadBuffer, ReadBufferSize);
    if (Filled >= Rest) {
      std::memcpy(Target + Waiting, ReadBuffer, static_cast<std::size_t>(Rest));
      ReadCount = Filled;
      ReadPos = Rest;
      return Count;
    }
    std::memcpy(Target + Waiting, ReadBuffer, static_cast<std::size_t>(Filled));
    Arrived = Filled;
  }
  if (Arrived < Rest && ExactTransfer) throw EInOutError("Read less than expected");
  return Waiting + Arrived;
}

void TBufferedStream::WriteAllToNext(const void* Buffer, std::int32_t Count) {
  if (Next->Write(Buffer, Count) != Count) throw EInOutError("Write less than expected");
}

std::int32_t TBufferedStream::Write(const void* Buffer, std::int32_t Count) {
  if (!WriteBuffer) return Next->Write(Buffer, Count);
  if (Count <= 0) return 0;
  auto* Source = static_cast<const std::uint8_t*>(Buffer);
  const std::int32_t Free = WriteBufferSize - WriteCount;
  if (Count <= Free) {
    std::memcpy(WriteBuffer + WriteCount, Source, static_cast<std::size_t>(Count));
    WriteCount += Count;
    return Count;
  }
  std::memcpy(WriteBuffer + WriteCount, Source, static_cast<std::size_t>(Free));
  WriteCount = WriteBufferSize;
  WriteAllToNext(WriteBuffer, WriteBufferSize);
  WriteCount = 0;
  const std::int32_t Rest = Count - Free;
  if (Rest >= WriteBufferSize) {
    const std::int32_t Taken = Next->Write(Source + Free, Rest);
    if (Taken < Rest && ExactTransfer) throw EInOutError("Write less than expected");
    return Free + Taken;
  }
  std::memcpy(WriteBuffer, Source + Free, static_cast<std::size_t>(Rest));
  WriteCount = Rest;
  return Count;
}

void TBufferedStream::Flush() {
  if (WriteCount <= 0) return;
  WriteAllToNext(WriteBuffer, WriteCount);
  WriteCount = 0;
}

std::int32_t TBufferedStream::BytesLeft() { return Next->BytesLeft() + ReadCount - ReadPos; }

// ============================================================================
// OpenBufferedFile, TStreamClass
// ============================================================================

TBufferedStream* OpenBufferedFile(const std::string& FileName, bool ForWriting) {
  auto* File = ForWriting ? new TFileStream(FileName, smRead | smWrite | smCreate | smShareRead)
                          : new TFileStream(FileName, smRead | smShareRead);
  try {
    return ForWriting ? new TBufferedStream(0, DefaultBufferSize, File)
                      : new TBufferedStream(DefaultBufferSize, 0, File);
  } catch (...) {
    delete File;
    throw;
  }
}

void TStreamClass::SaveToStream(TBaseStream&) {}

void TStreamClass::LoadFromStream(TBaseStream&) {}

void TStreamClass::ReadFromStream(TBaseStream& Stream) { LoadFromStream(Stream); }

namespace {

// Runs Work on the stream, then frees the chain; a failure of Work wins over one of the flush.
template <typename TWork> void WithBufferedFile(const std::string& FileName, bool ForWriting, TWork Work) {
  TBufferedStream* Stream = OpenBufferedFile(FileName, ForWriting);
  try {
    Work(*Stream);
  } catch (...) {
    try {
      Stream->FreeChain();
    } catch (...) {
    }
    throw;
  }
  Stream->FreeChain();
}

} // namespace

void TStreamClass::SaveToFile(const std::string& FileName) {
  WithBufferedFile(FileName, true, [this](TBaseStream& Stream) { SaveToStream(Stream); });
}

void TStreamClass::LoadFromFile(const std::string& FileName) {
  WithBufferedFile(FileName, false, [this](TBaseStream& Stream) { LoadFromStream(Stream); });
}
