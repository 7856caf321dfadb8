#include "CMediaType.h"

#include <objbase.h>

#include <cstring>

void CMediaType::MakeEmpty(AM_MEDIA_TYPE* type) {
  memset(type, 0, sizeof(*type));
  type->bFixedSizeSamples = TRUE;
  type->lSampleSize = 1;
}

CMediaType::CMediaType() { MakeEmpty(&m_type); }

CMediaType::~CMediaType() { Free(); }

CMediaType::CMediaType(CMediaType&& other) noexcept : m_type(other.m_type) { MakeEmpty(&other.m_type); }

CMediaType& CMediaType::operator=(CMediaType&& other) noexcept {
  if (this != &other) {
    Free();
    m_type = other.m_type;
    MakeEmpty(&other.m_type);
  }
  return *this;
}

HRESULT CMediaType::CopyFrom(const AM_MEDIA_TYPE& source) {
  if (&source == &m_type) return S_OK;
  // Duplicate and reference first: the source may be a shallow copy sharing our block or pUnk.
  BYTE* format = nullptr;
  const bool hasFormat = source.cbFormat != 0 && source.pbFormat != nullptr;
  if (hasFormat) {
    format = static_cast<BYTE*>(::CoTaskMemAlloc(source.cbFormat));
    if (format != nullptr) memcpy(format, source.pbFormat, source.cbFormat);
  }
  if (source.pUnk != nullptr) source.pUnk->AddRef();
  Free();
  m_type = source;
  m_type.pbFormat = format;
  m_type.cbFormat = format != nullptr ? source.cbFormat : 0;
  return hasFormat && format == nullptr ? E_OUTOFMEMORY : S_OK;
}

void CMediaType::Free() {
  if (m_type.pbFormat != nullptr) ::CoTaskMemFree(m_type.pbFormat);
  m_type.pbFormat = nullptr;
  m_type.cbFormat = 0;
  if (m_type.pUnk != nullptr) m_type.pUnk->Release();
  m_type.pUnk = nullptr;
}

void CMediaType::SetEmpty() {
  Free();
  MakeEmpty(&m_type);
}

bool CMediaType::Equals(const AM_MEDIA_TYPE& other) const {
  if (!IsEqualGUID(m_type.majortype, other.majortype) || !IsEqualGUID(m_type.subtype, other.subtype) ||
      !IsEqualGUID(m_type.formattype, other.formattype) || m_type.cbFormat != other.cbFormat) {
    return false;
  }
  if (m_type.cbFormat == 0) return true;
  // A block that claims bytes it does not have equals only another such block.
  if (m_type.pbFormat == nullptr || other.pbFormat == nullptr) return m_type.pbFormat == other.pbFormat;
  return memcmp(m_type.pbFormat, other.pbFormat, m_type.cbFormat) == 0;
}

bool CMediaType::HasType() const { return !IsEqualGUID(m_type.majortype, GUID_NULL); }

bool CMediaType::IsEmpty() const {
  // Field by field: the struct has padding that a copy may have filled.
  return IsEqualGUID(m_type.majortype, GUID_NULL) && IsEqualGUID(m_type.subtype, GUID_NULL) &&
         m_type.bFixedSizeSamples == TRUE && m_type.bTemporalCompression == FALSE && m_type.lSampleSize == 1 &&
         IsEqualGUID(m_type.formattype, GUID_NULL) && m_type.pUnk == nullptr && m_type.cbFormat == 0 &&
         m_type.pbFormat == nullptr;
}
