// The raw frames file of fontisctl capture.
#include "RawOutputFile.h"

RawOutputFile::~RawOutputFile() {
  if (!m_file.IsValid() || m_keep) return;
  m_file.Close();
  ::DeleteFileW(m_path.c_str());
}

bool RawOutputFile::Create(const wchar_t* path) {
  m_path = path;
  m_file.Reset(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return m_file.IsValid();
}
