// Owning media type record: copy, free and equality of AM_MEDIA_TYPE with its format block.
#include "filters/base/CAmMediaType.h"

#include <uuids.h>

#include <cstring>

namespace {
void MakeEmpty(AM_MEDIA_TYPE& type) {
  std::memset(&type, 0, sizeof(type));
  type.bFixedSizeSamples = TRUE;
  type.lSampleSize = 1;
}
}  // namespace

CAmMediaType::CAmMediaType() { MakeEmpty(m_type); }

CAmMediaType::CAmMediaType(const AM_MEDIA_TYPE& source) {
  MakeEmpty(m_type);
  Set(source);
}

CAmMediaType::CAmMediaType(const CAmMediaType& other) {
  MakeEmpty(m_type);
  Set(other.m_type);
}

CAmMediaType& CAmMediaType::operator=(const CAmMediaType& other) {
  Set(other.m_type);
  return *this;
}

CAmMediaType::CAmMediaType(CAmMediaType&& other) noexcept {
  m_type = other.m_type;
  MakeEmpty(other.m_type);
}

CAmMediaType& CAmMediaType::operator=(CAmMediaType&& other) noexcept {
  if (this != &other) {
    Free();
    m_type = other.m_type;
    MakeEmpty(other.m_type);
  }
  return *this;
}

CAmMediaType::~CAmMediaType() { Free(); }

HRESULT CAmMediaType::Set(const AM_MEDIA_TYPE& source) {
  if (&source == &m_type) return S_OK;
  Free();
  return CopyFields(source, m_type);
}

void CAmMediaType::Free() { FreeFields(m_type); }

void CAmMediaType::Clear() {
  Free();
  MakeEmpty(m_type);
}

bool CAmMediaType::Equals(const AM_MEDIA_TYPE& other) const {
  if (m_type.majortype != other.majortype || m_type.subtype != other.subtype ||
      m_type.formattype != other.formattype || m_type.cbFormat != other.cbFormat) {
    return false;
  }
  if (m_type.cbFormat == 0) return true;
  if (m_type.pbFormat == nullptr || other.pbFormat == nullptr) return m_type.pbFormat == other.pbFormat;
  return std::memcmp(m_type.pbFormat, other.pbFormat, m_type.cbFormat) == 0;
}

BYTE* CAmMediaType::AllocFormat(ULONG size) {
  if (m_type.pbFormat != nullptr) ::CoTaskMemFree(m_type.pbFormat);
  m_type.pbFormat = nullptr;
  m_type.cbFormat = 0;
  if (size == 0) return nullptr;
  BYTE* block = static_cast<BYTE*>(::CoTaskMemAlloc(size));
  if (block == nullptr) return nullptr;
  std::memset(block, 0, size);
  m_type.pbFormat = block;
  m_type.cbFormat = size;
  return block;
}

const VIDEOINFOHEADER* CAmMediaType::VideoInfo() const {
  if (m_type.formattype != FORMAT_VideoInfo || m_type.pbFormat == nullptr ||
      m_type.cbFormat < sizeof(VIDEOINFOHEADER)) {
    return nullptr;
  }
  return reinterpret_cast<const VIDEOINFOHEADER*>(m_type.pbFormat);
}

VIDEOINFOHEADER* CAmMediaType::VideoInfo() {
  return const_cast<VIDEOINFOHEADER*>(static_cast<const CAmMediaType*>(this)->VideoInfo());
}

HRESULT CAmMediaType::CopyTo(AM_MEDIA_TYPE* target) const {
  if (target == nullptr) return E_POINTER;
  return CopyFields(m_type, *target);
}

AM_MEDIA_TYPE* CAmMediaType::CreateTaskMemCopy() const {
  AM_MEDIA_TYPE* copy = static_cast<AM_MEDIA_TYPE*>(::CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (copy == nullptr) return nullptr;
  if (FAILED(CopyFields(m_type, *copy))) {
    ::CoTaskMemFree(copy);
    return nullptr;
  }
  return copy;
}

void CAmMediaType::FreeFields(AM_MEDIA_TYPE& type) {
  if (type.pbFormat != nullptr) ::CoTaskMemFree(type.pbFormat);
  type.pbFormat = nullptr;
  type.cbFormat = 0;
  if (type.pUnk != nullptr) type.pUnk->Release();
  type.pUnk = nullptr;
}

void CAmMediaType::DeleteTaskMemType(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return;
  FreeFields(*type);
  ::CoTaskMemFree(type);
}

HRESULT CAmMediaType::CopyFields(const AM_MEDIA_TYPE& source, AM_MEDIA_TYPE& target) {
  target = source;
  target.pbFormat = nullptr;
  target.cbFormat = 0;
  if (target.pUnk != nullptr) target.pUnk->AddRef();
  if (source.cbFormat == 0 || source.pbFormat == nullptr) return S_OK;
  BYTE* block = static_cast<BYTE*>(::CoTaskMemAlloc(source.cbFormat));
  if (block == nullptr) return E_OUTOFMEMORY;
  std::memcpy(block, source.pbFormat, source.cbFormat);
  target.pbFormat = block;
  target.cbFormat = source.cbFormat;
  return S_OK;
}
