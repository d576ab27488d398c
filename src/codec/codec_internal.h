// Pieces shared by the codec library's readers and image operations: the
// per-thread state with the progress rules, the operation frame every IS...
// entry runs in, ISException, the I/O object over a source handle, a bounded
// byte cursor, image buffer allocation and the trace sink.
//
// The shape of an entry:
//
//   uint8_t* ISReadXYZ(HISSRC source, int32_t* width, ...) {
//     qv::codec::CISOperation op;          // state, last error 0, nesting + 1
//     if (!op.Ok()) return nullptr;        // no thread state: nothing can be reported
//     if (!width) return op.Fail(IS_ERR_BADPARAM, nullptr);
//     qv::codec::CISIO io;
//     if (!op.Attach(source, io)) return nullptr;   // 5 or 38
//     return op.Run<uint8_t*>(nullptr, [&] { return ReadXYZ(op, io, ...); });
//   }                                      // the error is stored when op ends
//
// Inside Run, a reader throws ISException(code) to fail, or calls
// op.SetError(code) and returns what it has (a partial buffer). Buffers are held
// in a CISBuffer until they are handed out, so an exception frees them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "platform/byte_order.h"

namespace qv::codec {

// ---- Errors ----------------------------------------------------------------

// Carries a decoder error (an IS_ERR_... code and an optional message) back to
// the reader that called the decoder. Never leaves an IS... entry.
class ISException : public std::exception {
 public:
  explicit ISException(int32_t code, std::string message = std::string())
      : m_nCode(code), m_strMessage(std::move(message)) {}
  int32_t Code() const noexcept { return m_nCode; }
  const char* what() const noexcept override { return m_strMessage.c_str(); }

 private:
  int32_t m_nCode;
  std::string m_strMessage;
};

// ---- Per-thread state ------------------------------------------------------

// A named block of bytes a reader harvests from a file (comments, markers, texts).
struct CFileDataTag {
  std::string m_strName;
  int32_t m_nCode = 0;  // marker code where the format has one
  std::vector<uint8_t> m_data;
};

// An owning list: destroying it deletes every element.
template <class T>
using ISPtrVector = std::vector<std::unique_ptr<T>>;

// A colour with 16 bits per component (background colours of PNG files).
struct ISColor16 {
  uint8_t index = 0;
  uint16_t red = 0;
  uint16_t green = 0;
  uint16_t blue = 0;
  uint16_t gray = 0;
};

// One per calling thread; created on its first call, destroyed at program end.
struct ISThreadState {
  int32_t m_nLastError = IS_ERR_OK;
  // Progress: called only at nesting level 1 (the outermost operation).
  ISProgressFn m_pfnProgress = nullptr;
  uintptr_t m_nProgressUser = 0;
  int32_t m_nNesting = 0;
  // Reader settings this system leaves at their defaults.
  int32_t m_nJpegScaleNum = 1;
  int32_t m_nJpegScaleDenom = 1;
  ISColor16 m_pngDefaultBackground;
  double m_fScreenGamma = 2.9;
  int32_t m_nTiffOption = 0;
  // Results some readers leave behind.
  ISColor16 m_pngFileBackground;
  ISPtrVector<CFileDataTag> m_arrComments;
  ISPtrVector<CFileDataTag> m_arrMarkers;
  ISPtrVector<CFileDataTag> m_arrTexts;
};

// The calling thread's state, created on first use; null when it cannot be had.
ISThreadState* GetThreadState() noexcept;

// Raises the nesting level for its lifetime.
class CISNestingGuard {
 public:
  explicit CISNestingGuard(ISThreadState& state) : m_state(state) { ++m_state.m_nNesting; }
  ~CISNestingGuard() { --m_state.m_nNesting; }
  CISNestingGuard(const CISNestingGuard&) = delete;
  CISNestingGuard& operator=(const CISNestingGuard&) = delete;

 private:
  ISThreadState& m_state;
};

// Calls the progress callback when one is set and the nesting level is 1.
// Returns false when the operation is to stop.
bool ReportProgress(ISThreadState& state, int32_t index, int32_t count);

class CISIO;

// The frame of one IS... call: see the top of this file.
class CISOperation {
 public:
  CISOperation() noexcept;
  ~CISOperation();
  CISOperation(const CISOperation&) = delete;
  CISOperation& operator=(const CISOperation&) = delete;

  bool Ok() const { return m_pState != nullptr; }
  ISThreadState& State() { return *m_pState; }
  int32_t Error() const { return m_nError; }
  void SetError(int32_t code) { m_nError = code; }
  // Sets the error and returns value: `return op.Fail(IS_ERR_BADPARAM, 0);`
  template <class R>
  R Fail(int32_t code, R value) {
    m_nError = code;
    return value;
  }

  // Checks the handle (null: 5, not a live open source: 38) and points io at it.
  bool Attach(HISSRC source, CISIO& io);
  // ReportProgress for this operation; on a stop sets IS_ERR_CANCELLED.
  bool Progress(int32_t index, int32_t count);

  // Runs body, turning every exception into an error code and failValue.
  template <class R, class F>
  R Run(R failValue, F&& body) noexcept {
    try {
      return body();
    } catch (const ISException& e) {
      m_nError = e.Code();
    } catch (const std::bad_alloc&) {
      m_nError = IS_ERR_MEMORY;
    } catch (...) {
      m_nError = IS_ERR_BADPARAM;
    }
    return failValue;
  }

 private:
  ISThreadState* m_pState;
  int32_t m_nError = IS_ERR_OK;
  std::optional<CISNestingGuard> m_guard;
};

// ---- Sources ---------------------------------------------------------------

// IS_ERR_OK for a live, open source handle made by this library; IS_ERR_BADPARAM
// for null; IS_ERR_BADSOURCE for anything else (never dereferenced).
int32_t CheckSource(HISSRC source);

// The I/O object readers construct over the handle they were given.
class CISIO {
 public:
  CISIO() = default;
  explicit CISIO(HISSRC source) : m_pSource(source) {}
  CISIO(const CISIO&) = default;
  CISIO& operator=(const CISIO&) = default;  // takes over the other's handle pointer

  HISSRC Source() const { return m_pSource; }
  // Reads up to count bytes; returns how many were read.
  size_t Read(void* buffer, size_t count);
  // True only if all count bytes were read.
  bool ReadExactly(void* buffer, size_t count) { return Read(buffer, count) == count; }
  // origin: 0 start, 1 current, 2 end.
  bool Seek(int64_t offset, int origin);
  bool Rewind() { return Seek(0, 0); }
  int64_t Tell();
  // The file's length as measured when it was opened, or -1.
  int64_t Size();
  bool Close();
  // The path the source was opened with.
  const std::string& Path() const;

 private:
  HISSRC m_pSource = nullptr;
};

// ---- Byte cursor -------------------------------------------------------------

// The integers themselves come from platform/byte_order.h.

// Reads integers and blocks from a source or a block of memory, never past its
// end. The first failure makes Ok() false for good; failed reads yield 0.
class CISByteCursor {
 public:
  explicit CISByteCursor(CISIO& io) : m_pIO(&io) {}
  CISByteCursor(const uint8_t* data, size_t size) : m_pData(data), m_nSize(size) {}

  bool Ok() const { return m_bOk; }
  void Fail() { m_bOk = false; }
  uint8_t U8();
  uint16_t U16LE();
  uint32_t U32LE();
  int32_t I32LE() { return static_cast<int32_t>(U32LE()); }
  uint16_t U16BE();
  uint32_t U32BE();
  // Exactly size bytes into buffer (zero-filled on failure).
  bool Read(void* buffer, size_t size);
  // Reads and discards count bytes.
  bool Skip(uint64_t count);
  // Bytes left before the end (for a source whose size is unknown: 0).
  uint64_t Remaining();

 private:
  CISIO* m_pIO = nullptr;
  const uint8_t* m_pData = nullptr;
  size_t m_nSize = 0;
  size_t m_nPos = 0;
  bool m_bOk = true;
};

// ---- Image buffers -----------------------------------------------------------

// Largest block a reader may allocate (fuzz builds set a lower one).
#ifdef QV_MAX_BUFFER_BYTES
inline constexpr uint64_t kMaxBufferBytes = QV_MAX_BUFFER_BYTES;
#else
inline constexpr uint64_t kMaxBufferBytes = 0x7FFDEFFE;
#endif

// A zero-filled global-memory block; null for 0 bytes, more than
// kMaxBufferBytes, or when memory is short (report IS_ERR_MEMORY).
uint8_t* AllocBuffer(uint64_t bytes);

// Bytes per row of an image buffer (no padding): 0 for an unknown depth or a
// width below 1. Multiply by the height in 64 bits before allocating.
int64_t ImageStride(int64_t width, int32_t bitsPerPixel);

// Bytes of a width x height image buffer, computed without overflow: 0 (which
// no allocation accepts) for a size below 1, an unknown depth, or more than
// kMaxBufferBytes.
uint64_t ImageBytes(int64_t width, int64_t height, int32_t bitsPerPixel);

// ---- Frame admission ---------------------------------------------------------
//
// One rule for every reader, applied before a frame's buffer is allocated, so a
// header that claims a frame its file cannot hold costs nothing: the file must
// hold, from where the frame's data starts, its first stored row (raw rows) or
// 1 / kEncodingMargin of the least any complete encoding of the frame takes
// (compressed data). Otherwise the read fails with IS_ERR_FILEREAD and no buffer.
// Real pictures, even badly truncated ones, are far above both bounds.

inline constexpr uint64_t kEncodingMargin = 8;

// Throws IS_ERR_FILEREAD unless bytes more can be read from io's position.
void RequireFrameData(CISIO& io, uint64_t bytes);
// The same for compressed data whose least complete encoding is leastBytes.
inline void RequireEncodedFrame(CISIO& io, uint64_t leastBytes) { RequireFrameData(io, leastBytes / kEncodingMargin); }

// Owns a buffer from AllocBuffer until Release hands it to the caller.
class CISBuffer {
 public:
  CISBuffer() = default;
  // Allocates bytes (see AllocBuffer); check with operator bool.
  explicit CISBuffer(uint64_t bytes) : m_pData(AllocBuffer(bytes)), m_nSize(m_pData ? bytes : 0) {}
  CISBuffer(CISBuffer&& other) noexcept : m_pData(other.m_pData), m_nSize(other.m_nSize) { other.m_pData = nullptr; }
  CISBuffer& operator=(CISBuffer&& other) noexcept;
  CISBuffer(const CISBuffer&) = delete;
  CISBuffer& operator=(const CISBuffer&) = delete;
  ~CISBuffer();

  explicit operator bool() const { return m_pData != nullptr; }
  uint8_t* Get() const { return m_pData; }
  uint64_t Size() const { return m_nSize; }
  // Takes over a buffer from AllocBuffer (or null) of the given size.
  static CISBuffer Adopt(uint8_t* data, uint64_t bytes) {
    CISBuffer b;
    b.m_pData = data;
    b.m_nSize = data ? bytes : 0;
    return b;
  }
  uint8_t* Release() {
    uint8_t* p = m_pData;
    m_pData = nullptr;
    m_nSize = 0;
    return p;
  }

 private:
  uint8_t* m_pData = nullptr;
  uint64_t m_nSize = 0;
};

// ---- Row handover ------------------------------------------------------------

// A reader's rows on their way to an ISRowReceiver: one row to decode into,
// rows handed on in order, and the rows a damaged file lacks as zeros. A
// receiver's refusal is thrown as an ISException with its code.
class CRowHandover {
 public:
  explicit CRowHandover(ISRowReceiver& receiver) : m_receiver(receiver) {}

  void Begin(uint32_t width, uint32_t height);
  bool Begun() const { return m_bBegun; }
  bool Refused() const { return m_bRefused; }
  uint32_t Delivered() const { return m_nDelivered; }
  // Where the next row is decoded: width x 3 bytes.
  uint8_t* Row() { return m_row.data(); }
  // Hands on Row(), or the given row, as the next row.
  void Deliver() { Deliver(m_row.data()); }
  void Deliver(const uint8_t* row);
  // Hands on the rows not yet delivered as zeros.
  void DeliverZerosToEnd();

 private:
  ISRowReceiver& m_receiver;
  std::vector<uint8_t> m_row;
  uint32_t m_nHeight = 0;
  uint32_t m_nDelivered = 0;
  bool m_bBegun = false;
  bool m_bRefused = false;
};

// The frame of the ...Rows entry points: argument checks, the source, the
// handover, and read(op, io, rows) run with its exceptions turned into codes.
template <class Read>
int32_t RunRowRead(HISSRC source, ISRowReceiver* receiver, Read read) {
  CISOperation op;
  if (!op.Ok()) return 0;
  if (!receiver) return op.Fail(IS_ERR_BADPARAM, 0);
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  CRowHandover rows(*receiver);
  return op.Run<int32_t>(0, [&] { return read(op, io, rows); });
}

// ---- Trace -------------------------------------------------------------------

// Diagnostic texts with a level from 1 to 3. Discarded, unless the build
// defines QV_TRACE, which prints them to stderr.
void Trace(int level, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

}  // namespace qv::codec
