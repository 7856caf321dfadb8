#include "CExProcShareMem.h"

#include "NamedObjects.h"

CExProcShareMem::~CExProcShareMem() { Close(); }

void* CExProcShareMem::Create(const WCHAR* name, DWORD size, BOOL* existed) {
  Close();
  HANDLE mapping = CreateOrOpenFileMapping(INVALID_HANDLE_VALUE, PAGE_READWRITE, 0, size, name);
  if (mapping == nullptr) return nullptr;
  const BOOL alreadyExisted = ::GetLastError() == ERROR_ALREADY_EXISTS;
  m_mapping.Reset(mapping);
  m_view.Reset(::MapViewOfFile(m_mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
  if (!m_view.IsValid()) {
    m_mapping.Close();
    return nullptr;
  }
  if (existed != nullptr) *existed = alreadyExisted;
  return m_view.Get();
}

void* CExProcShareMem::GetBuffer() { return m_view.Get(); }

void CExProcShareMem::Close() {
  if (m_mapping.IsValid() && m_view.IsValid()) {
    m_view.Reset();
    m_mapping.Close();
  }
}
