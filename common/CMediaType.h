// A media type held by value that owns its format block: what the request channel hands out as a
// client's requested format, what the capture graph applies to the camera, and the media type of
// our filters' pins and enumerators.
//
// Not thread-safe: an object belongs to whoever holds it (the graph-control object and each
// filter keep theirs under their lock). Free of COM apart from the AM_MEDIA_TYPE struct, task
// memory and the optional pUnk reference that the struct carries.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <amvideo.h>

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
  // For in-place edits of the plain fields and the format bytes; the block itself is replaced
  // only through AllocFormat, Free or CopyFrom.
  AM_MEDIA_TYPE& Edit() { return m_type; }

  // Replaces the format block by `size` zeroed bytes; null (cbFormat 0) when out of memory.
  BYTE* AllocFormat(ULONG size);
  // The block as a VIDEOINFOHEADER when the format type is FORMAT_VideoInfo and the block is
  // long enough for one; else null.
  const VIDEOINFOHEADER* VideoInfo() const;
  VIDEOINFOHEADER* VideoInfo();

  // Copy into a caller's structure whose old contents are not freed (IPin::ConnectionMediaType);
  // E_OUTOFMEMORY leaves its cbFormat 0 and pbFormat null.
  HRESULT CopyTo(AM_MEDIA_TYPE* target) const;
  // A task-memory copy for enumerators and IAMStreamConfig, freed with DeleteTaskMemType; null
  // when out of memory.
  AM_MEDIA_TYPE* CreateTaskMemCopy() const;
  // Frees a structure's format block and pUnk, not the structure (the caller owns it).
  static void FreeFields(AM_MEDIA_TYPE& type);
  // Frees a task-memory AM_MEDIA_TYPE with its fields; null is ignored.
  static void DeleteTaskMemType(AM_MEDIA_TYPE* type);

 private:
  static void MakeEmpty(AM_MEDIA_TYPE* type);
  // Every field of source with its own block and one more pUnk reference; target's old contents
  // are not freed.
  static HRESULT CopyFields(const AM_MEDIA_TYPE& source, AM_MEDIA_TYPE* target);

  AM_MEDIA_TYPE m_type;
};
