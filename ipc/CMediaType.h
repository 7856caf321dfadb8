// A media type held by value that owns its format block: what the request channel hands out as a
// client's requested format and what the capture graph applies to the camera.
//
// Not thread-safe: an object belongs to whoever holds it (the graph-control object keeps its own
// under its lock). Free of COM apart from the AM_MEDIA_TYPE struct, task memory and the optional
// pUnk reference that the struct carries.
#pragma once

#include <windows.h>
#include <strmif.h>

class CMediaType {
 public:
  // An empty record: every field zero except bFixedSizeSamples TRUE and lSampleSize 1.
  CMediaType();
  ~CMediaType();

  // Copying can run out of memory, and the caller must see that: use CopyFrom.
  CMediaType(const CMediaType&) = delete;
  CMediaType& operator=(const CMediaType&) = delete;
  CMediaType(CMediaType&& other) noexcept;
  CMediaType& operator=(CMediaType&& other) noexcept;

  // Replaces this record by a copy of source with a duplicated format block and one more pUnk
  // reference. Copying a record onto itself does nothing. E_OUTOFMEMORY leaves every field
  // copied but the format block: cbFormat 0, pbFormat null.
  HRESULT CopyFrom(const AM_MEDIA_TYPE& source);
  HRESULT CopyFrom(const CMediaType& source) { return CopyFrom(source.m_type); }

  // Frees the format block (cbFormat 0, pbFormat null) and releases pUnk; other fields stay.
  void Free();
  // Frees, then makes the record empty again.
  void SetEmpty();

  // Major type, subtype, format type, cbFormat and the cbFormat format bytes; nothing else.
  bool Equals(const AM_MEDIA_TYPE& other) const;
  bool operator==(const CMediaType& other) const { return Equals(other.m_type); }
  bool operator!=(const CMediaType& other) const { return !Equals(other.m_type); }

  // A record has a type when its major type is not GUID_NULL.
  bool HasType() const;
  // Every field as the constructor sets them.
  bool IsEmpty() const;

  const AM_MEDIA_TYPE& Get() const { return m_type; }
  const AM_MEDIA_TYPE* operator->() const { return &m_type; }

 private:
  static void MakeEmpty(AM_MEDIA_TYPE* type);

  AM_MEDIA_TYPE m_type;
};
