// IShareMem over a named paging-file mapping.
// Used by one thread at a time (its owner serialises access).
#pragma once

#include "IShareMem.h"
#include "common/ScopedHandle.h"
#include "common/ScopedMappedView.h"

class CExProcShareMem : public IShareMem {
 public:
  CExProcShareMem() = default;
  ~CExProcShareMem() override;

  CExProcShareMem(const CExProcShareMem&) = delete;
  CExProcShareMem& operator=(const CExProcShareMem&) = delete;

  void* Create(const WCHAR* name, DWORD size, BOOL* existed) override;
  void* GetBuffer() override;
  void Close() override;

 private:
  ScopedHandle m_mapping;
  ScopedMappedView m_view;
};
