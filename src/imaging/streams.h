// The system's own byte streams: an abstract base, a forwarding filter, seekable files over a
// platform handle, a read/write buffering filter, and TStreamClass, which gives an object a
// SaveToFile/LoadFromFile pair through a buffered file stream.
#pragma once

#include <cstdint>
#include <string>

#include "support/object.h"

// A stream could not be set up (a bad buffer size).
class EStreamCreate : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const override { return "EStreamCreate"; }
};

// A file operation failed or moved fewer bytes than an exact transfer asked for.
class EInOutError : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const override { return "EInOutError"; }
};

// File-open flags, combined with |.
enum TStreamMode : std::uint8_t {
  smRead = 1,
  smWrite = 2,
  smCreate = 4, // create or empty the file; otherwise it must exist
  smShareRead = 8,
  smShareWrite = 16,
};
constexpr TStreamMode operator|(TStreamMode A, TStreamMode B) {
  return static_cast<TStreamMode>(static_cast<std::uint8_t>(A) | static_cast<std::uint8_t>(B));
}

constexpr std::int32_t DefaultBufferSize = 65536;

class TBaseStream : public TObject {
public:
  bool CanWrite = false;
  bool CanRead = false;
  // While true, a read or write that moves fewer bytes than asked for raises EInOutError
  // instead of returning the smaller count.
  bool ExactTransfer = true;

  const char* ClassName() const override { return "TBaseStream"; }

  virtual void SetExactTransfer(bool Value);
  // Each returns the bytes moved; a negative Count moves nothing. Failures raise EInOutError.
  virtual std::int32_t Write(const void* Buffer, std::int32_t Count) = 0;
  virtual std::int32_t Read(void* Buffer, std::int32_t Count) = 0;
  // True when BytesLeft is 0.
  virtual bool EndOfStream();
  virtual std::int32_t BytesLeft() = 0;
  // Hands waiting bytes on; nothing to do in the base.
  virtual void Flush() {}
  // Copies the rest of Source into this stream in chunks of up to 4096 bytes. Source's
  // ExactTransfer is off during the copy and restored afterwards, also when the copy fails.
  virtual void CopyFrom(TBaseStream& Source);
};

// Forwards everything to Next, which it does not own (see FreeChain).
class TFilterStream : public TBaseStream {
public:
  TBaseStream* Next;

  explicit TFilterStream(TBaseStream* Next);
  const char* ClassName() const override { return "TFilterStream"; }

  // Sets its own flag and Next's.
  void SetExactTransfer(bool Value) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t BytesLeft() override;

  // Deletes this stream and every stream behind it, outermost first, so that each filter
  // hands its waiting bytes on before the stream behind it goes. Everything is deleted even
  // when a flush fails; the first failure is raised afterwards.
  void FreeChain();
};

class TSeekableStream : public TBaseStream {
public:
  const char* ClassName() const override { return "TSeekableStream"; }
  virtual std::int32_t GetPosition() = 0;
  virtual std::int32_t GetSize() = 0;
  virtual void SetPosition(std::int32_t Position) = 0;
  // Ends the file at the current position.
  virtual void Truncate() = 0;
};

// A file opened through the platform. Every failure raises EInOutError with the platform's
// text for the error.
class TFileStream : public TSeekableStream {
public:
  std::intptr_t Handle = -1; // -1 while not open
  std::string FileName;

  // Opens FileName. Raises EInOutError "Either read, write or full access must be specified
  // in call to CreateFile" without touching the file system when Mode has neither smRead nor
  // smWrite, and "Error opening "<name>" - <text>" when the platform refuses.
  TFileStream(const std::string& FileName, TStreamMode Mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  const char* ClassName() const override { return "TFileStream"; }

  // "Error writing to stream - <text>"; a short write under ExactTransfer raises
  // "Write less than expected".
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  // "Error reading from stream - <text>"; a short read under ExactTransfer raises
  // "Read less than expected".
  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t BytesLeft() override;
  // Asks the platform to write its caches to disk; never fails.
  void Flush() override;
  // "IO-error: <text>".
  std::int32_t GetPosition() override;
  std::int32_t GetSize() override;
  // "Error moving file pointer - <text>".
  void SetPosition(std::int32_t Position) override;
  // "Error truncating file "<name>" - <text>".
  void Truncate() override;
  // Closes and deletes the file, then deletes this object. Raises "Error closing "<name>" -
  // <text>" or "Error deleting "<name>" - <text>"; the object is deleted in any case.
  virtual void CloseAndDelete();
};

// A filter with a read buffer and a write buffer. Destroy it before the stream behind it,
// preferably through FreeChain or after Flush: a destructor cannot report a failed flush.
class TBufferedStream : public TFilterStream {
public:
  bool RestoreNextExact = false;
  std::uint8_t* ReadBuffer = nullptr;
  std::int32_t ReadPos = 0;
  std::int32_t ReadCount = 0;       // valid bytes in ReadBuffer
  std::int32_t ReadBufferSize = 0;  // 0: reads go straight to Next
  std::uint8_t* WriteBuffer = nullptr;
  std::int32_t WriteCount = 0;      // bytes waiting in WriteBuffer
  std::int32_t WriteBufferSize = 0; // 0: writes go straight to Next

  // A size of -1 means DefaultBufferSize and 0 no buffer; a buffer for a direction Next
  // cannot serve is never made. Raises EStreamCreate "Invalid buffer size" for a size
  // below 2 (other than 0 and -1) in a direction Next serves.
  TBufferedStream(std::int32_t ReadBufferSize, std::int32_t WriteBufferSize, TBaseStream* Next);
  ~TBufferedStream() override;
  TBufferedStream(const TBufferedStream&) = delete;
  TBufferedStream& operator=(const TBufferedStream&) = delete;
  const char* ClassName() const override { return "TBufferedStream"; }

  // A short result under ExactTransfer raises EInOutError "Read less than expected".
  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  // Raises EInOutError "Write less than expected" when Next takes fewer bytes than it must.
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  std::int32_t BytesLeft() override;
  // Writes the waiting bytes to Next (without flushing Next); "Write less than expected"
  // when Next takes fewer.
  void Flush() override;

private:
  void WriteAllToNext(const void* Buffer, std::int32_t Count);
};

// Opens FileName under a buffered stream: for writing, created (or emptied) with a write
// buffer of DefaultBufferSize; for reading, with a read buffer of DefaultBufferSize. Release
// the result with FreeChain. Raises what TFileStream raises.
TBufferedStream* OpenBufferedFile(const std::string& FileName, bool ForWriting);

// Base of objects that can be saved to and loaded from a stream. The stream operations do
// nothing here; subclasses that have something to store fill them in.
class TStreamClass : public TAssignObject {
public:
  const char* ClassName() const override { return "TStreamClass"; }
  virtual void SaveToStream(TBaseStream& Stream);
  virtual void LoadFromStream(TBaseStream& Stream);
  // Calls LoadFromStream.
  virtual void ReadFromStream(TBaseStream& Stream);
  // Through OpenBufferedFile; the stream chain is freed even when saving or loading fails.
  virtual void SaveToFile(const std::string& FileName);
  virtual void LoadFromFile(const std::string& FileName);
};
