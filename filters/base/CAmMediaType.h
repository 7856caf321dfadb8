// An AM_MEDIA_TYPE held by value that owns its format block (task memory) and its pUnk: the
// media type of our pins and enumerators (named apart from the request channel's CMediaType so
// that a program may link both).
#pragma once

#include <windows.h>
#include <strmif.h>
#include <amvideo.h>

// Rules: the empty record has every field zero except bFixedSizeSamples TRUE and lSampleSize 1;
// a copy frees the target's block first and duplicates a non-empty source block (on allocation
// failure the target's cbFormat is 0 and E_OUTOFMEMORY is reported); equality compares major
// type, subtype, format type and the format block bytes only. Not thread-safe: the owner's lock
// guards it.
class CAmMediaType {
 public:
  CAmMediaType();
  explicit CAmMediaType(const AM_MEDIA_TYPE& source);
  CAmMediaType(const CAmMediaType& other);
  CAmMediaType& operator=(const CAmMediaType& other);
  CAmMediaType(CAmMediaType&& other) noexcept;
  CAmMediaType& operator=(CAmMediaType&& other) noexcept;
  ~CAmMediaType();

  // Deep copy of source; copying a record onto itself does nothing.
  HRESULT Set(const AM_MEDIA_TYPE& source);
  // Frees the format block and pUnk; other fields stay.
  void Free();
  // Back to the empty record.
  void Clear();

  bool HasType() const { return m_type.majortype != GUID_NULL; }
  bool Equals(const AM_MEDIA_TYPE& other) const;
  bool operator==(const CAmMediaType& other) const { return Equals(other.m_type); }
  bool operator!=(const CAmMediaType& other) const { return !Equals(other.m_type); }

  const AM_MEDIA_TYPE& Get() const { return m_type; }
  // For in-place edits of the plain fields; the format block is changed through AllocFormat.
  AM_MEDIA_TYPE& Edit() { return m_type; }
  const AM_MEDIA_TYPE* Ptr() const { return &m_type; }

  // Replaces the format block by `size` zeroed bytes; null (and cbFormat 0) when out of memory.
  BYTE* AllocFormat(ULONG size);
  // The block as a VIDEOINFOHEADER when the format type says so and the block is long enough.
  const VIDEOINFOHEADER* VideoInfo() const;
  VIDEOINFOHEADER* VideoInfo();

  // Deep copy into a caller's structure whose old contents are not freed (IPin::ConnectionMediaType).
  HRESULT CopyTo(AM_MEDIA_TYPE* target) const;
  // A task-memory AM_MEDIA_TYPE for enumerators and GetFormat; the caller frees it with
  // DeleteTaskMemType. Null when out of memory.
  AM_MEDIA_TYPE* CreateTaskMemCopy() const;

  // Frees a structure's format block and pUnk (the caller owns the structure itself).
  static void FreeFields(AM_MEDIA_TYPE& type);
  // Frees a task-memory AM_MEDIA_TYPE with its fields; null is ignored.
  static void DeleteTaskMemType(AM_MEDIA_TYPE* type);
  // Copy of every field into a structure assumed empty; E_OUTOFMEMORY leaves cbFormat 0.
  static HRESULT CopyFields(const AM_MEDIA_TYPE& source, AM_MEDIA_TYPE& target);

 private:
  AM_MEDIA_TYPE m_type;
};
