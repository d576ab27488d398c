#include "platform/file_io.h"

#include "platform/system_error.h"

namespace qv {

CAtomicFileWriter::CAtomicFileWriter(std::string path, size_t bufferSize)
    : m_strPath(std::move(path)), m_strTempPath(m_strPath + ".tmp") {
  m_pFile = std::fopen(m_strTempPath.c_str(), "wb");
  if (!m_pFile) Fail();
  if (m_pFile && bufferSize > 0) std::setvbuf(m_pFile, nullptr, _IOFBF, bufferSize);
}

void CAtomicFileWriter::Fail() {
  const uint32_t code = LastSystemError();
  m_bFailed = true;
  if (m_strError.empty()) m_strError = SystemErrorText(code);
}

CAtomicFileWriter::~CAtomicFileWriter() { Abandon(); }

void CAtomicFileWriter::Abandon() {
  if (!m_pFile) return;
  std::fclose(m_pFile);
  m_pFile = nullptr;
  RemoveFile(m_strTempPath);
}

bool CAtomicFileWriter::Write(const void* data, size_t size) {
  if (!m_pFile || m_bFailed) return false;
  if (size > 0 && std::fwrite(data, 1, size, m_pFile) != size) Fail();
  return !m_bFailed;
}

bool CAtomicFileWriter::Commit() {
  if (!m_pFile || m_bFailed) {
    Abandon();
    return false;
  }
  const bool flushed = std::fflush(m_pFile) == 0 && FlushFileToDisk(m_pFile);
  if (!flushed) Fail();
  const bool closed = std::fclose(m_pFile) == 0;
  if (!closed) Fail();
  m_pFile = nullptr;
  if (!flushed || !closed || !ReplaceFileWith(m_strTempPath, m_strPath)) {
    if (m_strError.empty()) Fail();
    RemoveFile(m_strTempPath);
    return false;
  }
  return true;
}

}  // namespace qv
