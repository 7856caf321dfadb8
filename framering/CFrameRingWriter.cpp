// The renderer's side of the frame ring.
#include "CFrameRingWriter.h"

#include <cstring>
#include <utility>
#if defined(_M_X64) || defined(__x86_64__)
#include <emmintrin.h>
#define FONTIS_STREAMING_STORES 1
#endif

#include "ipc/NamedObjects.h"
#include "ipc/ObjectNames.h"

namespace {

// Slots are whole multiples of the allocation granularity, so a reader can learn a slot's
// capacity from the size of the view it maps, whatever the header says meanwhile.
constexpr LONG64 kSlotAlignment = 64 * 1024;
constexpr int kGenerationAttempts = 16;

// Marks a record as being written; a sequence left odd by a writer that died stays odd.
void BeginWrite(LONG64* sequence) {
  if ((RingLoad(sequence) & 1) == 0) ::InterlockedIncrement64(sequence);
}
void EndWrite(LONG64* sequence) { ::InterlockedIncrement64(sequence); }

// Frames from this size on go to the slot with streaming stores: a slot is cold in the cache
// (the writer comes back to it only after the other slots), and plain stores would first read
// every line of it. Smaller frames stay cheap either way and may well be cached.
constexpr size_t kStreamingThreshold = 256 * 1024;

void CopyToSlot(BYTE* target, const BYTE* source, size_t size) {
#if defined(FONTIS_STREAMING_STORES)
  if (size >= kStreamingThreshold) {
    // Slots are 64 KiB aligned, so every 16-byte store is aligned; the source may not be.
    size_t i = 0;
    for (; i + 64 <= size; i += 64) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 16));
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 32));
      const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 48));
      _mm_stream_si128(reinterpret_cast<__m128i*>(target + i), a);
      _mm_stream_si128(reinterpret_cast<__m128i*>(target + i + 16), b);
      _mm_stream_si128(reinterpret_cast<__m128i*>(target + i + 32), c);
      _mm_stream_si128(reinterpret_cast<__m128i*>(target + i + 48), d);
    }
    if (i < size) memcpy(target + i, source + i, size - i);
    // Streaming stores are weakly ordered: all of them land before the sequence says "done".
    _mm_sfence();
    return;
  }
#endif
  memcpy(target, source, size);
}

}  // namespace

HRESULT CFrameRingWriter::Open(const WCHAR* instanceName, LONG slotCount) {
  Close();
  if (instanceName == nullptr || instanceName[0] == L'\0') return E_INVALIDARG;
  if (slotCount < 2 || slotCount > kFrameRingMaxSlots) return E_INVALIDARG;
  WCHAR controlName[kNameCapacity], eventName[kNameCapacity], lockName[kNameCapacity];
  WCHAR longestPixelName[kNameCapacity], longestSuffix[32];
  FormatPixelSuffix(longestSuffix, kFrameRingMaxGeneration);
  if (!ComposeObjectName(controlName, instanceName, kSuffixFrameRing) ||
      !ComposeObjectName(eventName, instanceName, kSuffixFrameEvent) ||
      !ComposeObjectName(lockName, instanceName, kSuffixFrameWriter) ||
      !ComposeObjectName(longestPixelName, instanceName, longestSuffix)) {
    return E_INVALIDARG;
  }
  // Before anything of the ring is touched: a refused writer changes nothing readers see.
  const HRESULT locked = m_writerLock.Acquire(lockName);
  if (FAILED(locked)) return locked;

  m_event.Reset(CreateOrOpenEvent(TRUE, FALSE, eventName));
  if (!m_event.IsValid()) {
    const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
    Close();
    return hr;
  }
  // An earlier writer may have died between its set and its reset.
  ::ResetEvent(m_event.Get());

  m_control.Reset(CreateOrOpenFileMapping(INVALID_HANDLE_VALUE, PAGE_READWRITE, 0, kFrameRingControlBytes, controlName));
  const DWORD createError = ::GetLastError();
  if (!m_control.IsValid()) {
    Close();
    return HRESULT_FROM_WIN32(createError);
  }
  const bool existed = createError == ERROR_ALREADY_EXISTS;
  m_controlView.Reset(::MapViewOfFile(m_control.Get(), FILE_MAP_WRITE, 0, 0, 0));
  MEMORY_BASIC_INFORMATION info = {};
  if (!m_controlView.IsValid() || ::VirtualQuery(m_controlView.Get(), &info, sizeof(info)) == 0 ||
      info.RegionSize < sizeof(FrameRingHeader)) {
    Close();
    return E_FAIL;
  }
  m_header = static_cast<FrameRingHeader*>(m_controlView.Get());

  const LONG magic = RingLoad(&m_header->magic);
  if (existed && magic != 0) {
    const LONG existingSlots = RingLoad(&m_header->slotCount);
    if (magic != kFrameRingMagic || RingLoad(&m_header->version) != kFrameRingVersion ||
        RingLoad(&m_header->headerSize) != static_cast<LONG>(sizeof(FrameRingHeader)) || existingSlots < 2 ||
        existingSlots > kFrameRingMaxSlots) {
      Close();
      return E_FAIL;
    }
    // Readers may still hold the old record: keep its shape and let the counter run on, so that
    // a reader never sees a counter go backwards.
    slotCount = existingSlots;
    // Whoever wrote these may have written anything: out of range, they start again.
    const LONG64 counter = RingLoad(&m_header->latest.counter);
    const LONG generation = RingLoad(&m_header->generation);
    m_counter = counter >= 0 && counter <= kFrameRingMaxCounter ? counter : 0;
    m_generation = IsRingGeneration(generation) ? generation : 0;
  } else {
    RingStore(&m_header->version, kFrameRingVersion);
    RingStore(&m_header->headerSize, static_cast<LONG>(sizeof(FrameRingHeader)));
    RingStore(&m_header->slotCount, slotCount);
  }
  m_slotCount = slotCount;
  m_nextSlot = 0;
  ResetSlots();
  RingStore(&m_header->writerProcessId, static_cast<LONG>(::GetCurrentProcessId()));
  // Last: readers take a record without its magic for one still being made.
  RingStore(&m_header->magic, kFrameRingMagic);
  BoundedCopy(m_instance, instanceName);
  return S_OK;
}

void CFrameRingWriter::Close() {
  m_pixelBase = nullptr;
  m_pixelView.Reset();
  m_pixels.Close();
  m_header = nullptr;
  m_controlView.Reset();
  m_control.Close();
  m_event.Close();
  m_writerLock.Release();
  m_slotCount = m_generation = m_slotBytes = m_nextSlot = 0;
  m_counter = 0;
  m_instance[0] = L'\0';
}

void CFrameRingWriter::ResetSlots() {
  const FrameRingFrame empty = {};
  for (LONG i = 0; i < kFrameRingMaxSlots; ++i) {
    FrameRingSlot* slot = &m_header->slots[i];
    BeginWrite(&slot->sequence);
    RingStore(&slot->generation, 0);
    RingStoreFrame(&slot->frame, empty);
    EndWrite(&slot->sequence);
  }
  FrameRingFrame latest = empty;
  latest.counter = m_counter;
  BeginWrite(&m_header->latestSequence);
  RingStore(&m_header->latestSlot, -1);
  RingStoreFrame(&m_header->latest, latest);
  EndWrite(&m_header->latestSequence);
}

HRESULT CFrameRingWriter::Reserve(LONG64 frameBytes) {
  if (!IsOpen()) return E_UNEXPECTED;
  if (frameBytes <= 0 || frameBytes > kFrameRingMaxSlotBytes) return E_INVALIDARG;
  if (m_pixelBase != nullptr && frameBytes <= m_slotBytes) return S_OK;

  const LONG64 slotBytes = (frameBytes + kSlotAlignment - 1) / kSlotAlignment * kSlotAlignment;
  const LONG64 total = slotBytes * m_slotCount;  // at most 8 x 128 MiB: below 4 GiB
  for (int attempt = 0; attempt < kGenerationAttempts; ++attempt) {
    const LONG generation = NextRingGeneration(m_generation);
    m_generation = generation;
    WCHAR suffix[32], name[kNameCapacity];
    FormatPixelSuffix(suffix, generation);
    if (!ComposeObjectName(name, m_instance, suffix)) return E_INVALIDARG;
    ScopedHandle mapping(
        CreateOrOpenFileMapping(INVALID_HANDLE_VALUE, PAGE_READWRITE, 0, static_cast<DWORD>(total), name));
    if (!mapping.IsValid()) return HRESULT_FROM_WIN32(::GetLastError());
    // A reader of an earlier writer's run still holds this generation: its size is not ours.
    if (::GetLastError() == ERROR_ALREADY_EXISTS) continue;
    ScopedMappedView view(::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
    if (!view.IsValid()) return E_OUTOFMEMORY;

    // The old generation's frames go with its mapping: empty the slots before letting it go, so
    // that readers see no frame rather than one whose storage vanished.
    ResetSlots();
    m_pixels = std::move(mapping);
    m_pixelView = std::move(view);
    m_pixelBase = static_cast<BYTE*>(m_pixelView.Get());
    m_slotBytes = static_cast<LONG>(slotBytes);
    m_nextSlot = 0;
    RingStore(&m_header->slotBytes, m_slotBytes);
    RingStore(&m_header->pixelBytes, total);
    RingStore(&m_header->generation, generation);
    return S_OK;
  }
  return E_FAIL;
}

HRESULT CFrameRingWriter::Publish(const FrameRingFrame& frame, const BYTE* pixels, LONG64* counter) {
  if (m_pixelBase == nullptr) return E_UNEXPECTED;
  if (frame.bytes < 0 || frame.bytes > m_slotBytes || (frame.bytes > 0 && pixels == nullptr)) {
    CountDropped();
    return E_INVALIDARG;
  }
  const LONG index = m_nextSlot;
  m_nextSlot = (index + 1) % m_slotCount;
  FrameRingFrame stamped = frame;
  stamped.counter = ++m_counter;

  FrameRingSlot* slot = &m_header->slots[index];
  BeginWrite(&slot->sequence);
  RingStore(&slot->generation, m_generation);
  RingStoreFrame(&slot->frame, stamped);
  CopyToSlot(m_pixelBase + static_cast<size_t>(index) * static_cast<size_t>(m_slotBytes), pixels,
             static_cast<size_t>(frame.bytes));
  EndWrite(&slot->sequence);

  BeginWrite(&m_header->latestSequence);
  RingStore(&m_header->latestSlot, index);
  RingStoreFrame(&m_header->latest, stamped);
  EndWrite(&m_header->latestSequence);

  // A pulse: wakes every reader waiting now and leaves no signal behind for the ones that are
  // not; those look at the counter before they wait.
  ::SetEvent(m_event.Get());
  ::ResetEvent(m_event.Get());
  if (counter != nullptr) *counter = stamped.counter;
  return S_OK;
}

void CFrameRingWriter::SetOption(LONG option) {
  if (IsOpen()) RingStore(&m_header->option, option);
}

void CFrameRingWriter::CountDropped() {
  if (IsOpen()) ::InterlockedIncrement64(&m_header->framesDropped);
}
