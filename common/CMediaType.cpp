#include "CMediaType.h"

#include <objbase.h>

#include <cstring>

#include "common/VideoGuids.h"

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

HRESULT CMediaType::CopyFields(const AM_MEDIA_TYPE& source, AM_MEDIA_TYPE* target) {
  BYTE* format = nullptr;
  const bool hasFormat = source.cbFormat != 0 && source.pbFormat != nullptr;
  if (hasFormat) {
    format = static_cast<BYTE*>(::CoTaskMemAlloc(source.cbFormat));
    if (format != nullptr) memcpy(format, source.pbFormat, source.cbFormat);
  }
  if (source.pUnk != nullptr) source.pUnk->AddRef();
  *target = source;
  target->pbFormat = format;
  target->cbFormat = format != nullptr ? source.cbFormat : 0;
  return hasFormat && format == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT CMediaType::CopyFrom(const AM_MEDIA_TYPE& source) {
  if (&source == &m_type) return S_OK;
  // Duplicate and reference first: the source may be a shallow copy sharing our block or pUnk.
  AM_MEDIA_TYPE copy;
  const HRESULT hr = CopyFields(source, &copy);
  Free();
  m_type = copy;
  return hr;
}

void CMediaType::Free() { FreeFields(m_type); }

void CMediaType::FreeFields(AM_MEDIA_TYPE& type) {
  if (type.pbFormat != nullptr) ::CoTaskMemFree(type.pbFormat);
  type.pbFormat = nullptr;
  type.cbFormat = 0;
  if (type.pUnk != nullptr) type.pUnk->Release();
  type.pUnk = nullptr;
}

void CMediaType::DeleteTaskMemType(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return;
  FreeFields(*type);
  ::CoTaskMemFree(type);
}

HRESULT CMediaType::CopyTo(AM_MEDIA_TYPE* target) const {
  if (target == nullptr) return E_POINTER;
  return CopyFields(m_type, target);
}

AM_MEDIA_TYPE* CMediaType::CreateTaskMemCopy() const {
  auto* copy = static_cast<AM_MEDIA_TYPE*>(::CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (copy == nullptr) return nullptr;
  if (FAILED(CopyFields(m_type, copy))) {
    DeleteTaskMemType(copy);
    return nullptr;
  }
  return copy;
}

BYTE* CMediaType::AllocFormat(ULONG size) {
  if (m_type.pbFormat != nullptr) ::CoTaskMemFree(m_type.pbFormat);
  m_type.pbFormat = size != 0 ? static_cast<BYTE*>(::CoTaskMemAlloc(size)) : nullptr;
  m_type.cbFormat = m_type.pbFormat != nullptr ? size : 0;
  if (m_type.pbFormat != nullptr) memset(m_type.pbFormat, 0, size);
  return m_type.pbFormat;
}

const VIDEOINFOHEADER* CMediaType::VideoInfo() const {
  if (!IsEqualGUID(m_type.formattype, kFormatVideoInfo) || m_type.pbFormat == nullptr ||
      m_type.cbFormat < sizeof(VIDEOINFOHEADER)) {
    return nullptr;
  }
  return reinterpret_cast<const VIDEOINFOHEADER*>(m_type.pbFormat);
}

VIDEOINFOHEADER* CMediaType::VideoInfo() {
  return const_cast<VIDEOINFOHEADER*>(static_cast<const CMediaType*>(this)->VideoInfo());
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
