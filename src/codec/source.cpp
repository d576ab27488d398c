// Source handles over files, the registry of live handles, CISIO and the
// byte cursor.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <mutex>
#include <unordered_set>

#include "codec/codec_internal.h"

// The block behind an HISSRC. Only file sources (kind 1) are made here.
struct ISSourceBlock {
  static constexpr uint32_t kMagic1 = 0x07475590;
  static constexpr uint32_t kMagic2 = 0x12345678;
  static constexpr int32_t kKindFile = 1;

  uint32_t m_nMagic1 = kMagic1;
  FILE* m_pStream = nullptr;
  int32_t m_nKind = kKindFile;
  std::string m_strPath;
  int64_t m_nSize = -1;  // measured once when the file is opened
  uint8_t m_bWrite = 0;
  uint8_t m_bFlag = 0;
  uint32_t m_nMagic2 = kMagic2;
};

namespace qv::codec {

namespace {

// Handles are checked against this set before they are touched, so a freed,
// foreign or garbage pointer is refused without being dereferenced.
struct CSourceRegistry {
  std::mutex m_lock;
  std::unordered_set<const ISSourceBlock*> m_live;
};

CSourceRegistry& Registry() {
  static CSourceRegistry registry;
  return registry;
}

bool Register(const ISSourceBlock* block) {
  try {
    CSourceRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.m_lock);
    registry.m_live.insert(block);
    return true;
  } catch (...) {
    return false;
  }
}

void Unregister(const ISSourceBlock* block) {
  CSourceRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.m_lock);
  registry.m_live.erase(block);
}

int ToStdOrigin(int origin) {
  switch (origin) {
    case 0:
      return SEEK_SET;
    case 1:
      return SEEK_CUR;
    case 2:
      return SEEK_END;
    default:
      return -1;
  }
}

// The file's length, taken once when it is opened (-1 when it cannot be had).
int64_t MeasureStream(FILE* stream) {
  if (std::fseek(stream, 0, SEEK_END) != 0) return -1;
  const long size = std::ftell(stream);
  std::rewind(stream);
  return size;
}

}  // namespace

int32_t CheckSource(HISSRC source) {
  if (!source) return IS_ERR_BADPARAM;
  // The registry stays locked while the block is read: a close unregisters the
  // block under the same lock before freeing it, so a block found here is not
  // freed until the check is done.
  CSourceRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.m_lock);
  if (registry.m_live.count(source) == 0) return IS_ERR_BADSOURCE;
  const bool sound = source->m_nMagic1 == ISSourceBlock::kMagic1 && source->m_nMagic2 == ISSourceBlock::kMagic2 &&
                     source->m_nKind == ISSourceBlock::kKindFile && source->m_pStream != nullptr;
  return sound ? IS_ERR_OK : IS_ERR_BADSOURCE;
}

size_t CISIO::Read(void* buffer, size_t count) {
  if (!m_pSource || !m_pSource->m_pStream || count == 0) return 0;
  return std::fread(buffer, 1, count, m_pSource->m_pStream);
}

bool CISIO::Seek(int64_t offset, int origin) {
  const int stdOrigin = ToStdOrigin(origin);
  if (!m_pSource || !m_pSource->m_pStream || stdOrigin < 0) return false;
  if (offset < LONG_MIN || offset > LONG_MAX) return false;
  return std::fseek(m_pSource->m_pStream, static_cast<long>(offset), stdOrigin) == 0;
}

int64_t CISIO::Tell() {
  if (!m_pSource || !m_pSource->m_pStream) return -1;
  return std::ftell(m_pSource->m_pStream);
}

int64_t CISIO::Size() { return m_pSource ? m_pSource->m_nSize : -1; }

bool CISIO::Close() {
  if (!m_pSource || !m_pSource->m_pStream) return false;
  const bool closed = std::fclose(m_pSource->m_pStream) == 0;
  m_pSource->m_pStream = nullptr;
  return closed;
}

const std::string& CISIO::Path() const {
  static const std::string kNone;
  return m_pSource ? m_pSource->m_strPath : kNone;
}

// ---- CISByteCursor ----

bool CISByteCursor::Read(void* buffer, size_t size) {
  if (size == 0) return m_bOk;
  bool got = false;
  if (m_bOk) {
    if (m_pIO) {
      got = m_pIO->ReadExactly(buffer, size);
    } else if (m_nSize - m_nPos >= size) {
      std::copy_n(m_pData + m_nPos, size, static_cast<uint8_t*>(buffer));
      m_nPos += size;
      got = true;
    }
  }
  if (!got) {
    std::fill_n(static_cast<uint8_t*>(buffer), size, uint8_t{0});
    m_bOk = false;
  }
  return got;
}

uint8_t CISByteCursor::U8() {
  uint8_t b = 0;
  Read(&b, 1);
  return b;
}

uint16_t CISByteCursor::U16LE() {
  uint8_t b[2];
  Read(b, 2);
  return LoadU16LE(b);
}

uint32_t CISByteCursor::U32LE() {
  uint8_t b[4];
  Read(b, 4);
  return LoadU32LE(b);
}

uint16_t CISByteCursor::U16BE() {
  uint8_t b[2];
  Read(b, 2);
  return LoadU16BE(b);
}

uint32_t CISByteCursor::U32BE() {
  uint8_t b[4];
  Read(b, 4);
  return LoadU32BE(b);
}

bool CISByteCursor::Skip(uint64_t count) {
  if (!m_bOk) return false;
  if (!m_pIO) {
    if (m_nSize - m_nPos < count) return m_bOk = false;
    m_nPos += static_cast<size_t>(count);
    return true;
  }
  uint8_t scratch[4096];
  while (count > 0) {
    const size_t chunk = static_cast<size_t>(std::min<uint64_t>(count, sizeof scratch));
    if (!Read(scratch, chunk)) return false;
    count -= chunk;
  }
  return true;
}

uint64_t CISByteCursor::Remaining() {
  if (!m_pIO) return m_nSize - m_nPos;
  const int64_t here = m_pIO->Tell();
  const int64_t size = m_pIO->Size();
  return here < 0 || size < here ? 0 : static_cast<uint64_t>(size - here);
}

}  // namespace qv::codec

using qv::codec::CheckSource;
using qv::codec::CISIO;
using qv::codec::CISOperation;
using qv::codec::MeasureStream;

HISSRC ISOpenFileSource(const char* path) {
  CISOperation op;
  if (!op.Ok()) return nullptr;
  if (!path || !*path) return op.Fail<HISSRC>(IS_ERR_FILEOPEN, nullptr);
  return op.Run<HISSRC>(nullptr, [&]() -> HISSRC {
    auto block = std::make_unique<ISSourceBlock>();
    block->m_strPath = path;
    block->m_pStream = std::fopen(path, "rb");
    if (!block->m_pStream) return op.Fail<HISSRC>(IS_ERR_FILEOPEN, nullptr);
    block->m_nSize = MeasureStream(block->m_pStream);
    if (!qv::codec::Register(block.get())) {
      std::fclose(block->m_pStream);
      return op.Fail<HISSRC>(IS_ERR_MEMORY, nullptr);
    }
    return block.release();
  });
}

int32_t ISSeekSource(HISSRC source, int32_t offset, int32_t origin) {
  CISOperation op;
  if (!op.Ok()) return 0;
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  return io.Seek(offset, origin) ? 1 : op.Fail(IS_ERR_FILEREAD, 0);
}

int64_t ISGetSourceSize(HISSRC source) {
  CISOperation op;
  if (!op.Ok()) return -1;
  CISIO io;
  if (!op.Attach(source, io)) return -1;
  const int64_t size = io.Size();
  return size >= 0 ? size : op.Fail<int64_t>(IS_ERR_FILEREAD, -1);
}

int32_t ISCloseSource(HISSRC source) {
  CISOperation op;
  if (!op.Ok()) return 0;
  CISIO io;
  if (!op.Attach(source, io)) return 0;
  const int64_t position = io.Tell();
  io.Close();
  qv::codec::Unregister(source);
  delete source;
  return static_cast<int32_t>(std::clamp<int64_t>(position, 0, INT32_MAX));
}
