// A client's side of the frame ring.
#include "CFrameRingReader.h"

#include <cstring>
#include <utility>

#include "ipc/ObjectNames.h"

namespace {

// The writer's pulse can fall between a reader's look at the counter and its wait; the reader
// then notices the frame at the latest this much later.
constexpr DWORD kMissedPulsePollMs = 20;
constexpr int kSeqlockSpins = 10000;
constexpr int kReadAttempts = 64;

}  // namespace

HRESULT CFrameRingReader::Open(const WCHAR* instanceName) {
  m_pixelView.Reset();
  m_pixels.Close();
  m_generation = 0;
  m_slotCapacity = 0;
  m_header = nullptr;
  m_controlView.Reset();
  m_control.Close();
  m_event.Close();
  if (instanceName == nullptr || instanceName[0] == L'\0') return E_INVALIDARG;
  WCHAR controlName[kNameCapacity], eventName[kNameCapacity];
  if (!ComposeObjectName(controlName, instanceName, kSuffixFrameRing) ||
      !ComposeObjectName(eventName, instanceName, kSuffixFrameEvent)) {
    return E_INVALIDARG;
  }
  m_control.Reset(::OpenFileMappingW(FILE_MAP_READ, FALSE, controlName));
  if (!m_control.IsValid()) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? kErrNoRing : HRESULT_FROM_WIN32(error);
  }
  m_controlView.Reset(::MapViewOfFile(m_control.Get(), FILE_MAP_READ, 0, 0, 0));
  MEMORY_BASIC_INFORMATION info = {};
  if (!m_controlView.IsValid() || ::VirtualQuery(m_controlView.Get(), &info, sizeof(info)) == 0 ||
      info.RegionSize < sizeof(FrameRingHeader)) {
    return E_FAIL;
  }
  const FrameRingHeader* header = static_cast<const FrameRingHeader*>(m_controlView.Get());
  const LONG magic = RingLoad(&header->magic);
  if (magic == 0) return kErrNoRing;  // the writer is still making it
  const LONG slotCount = RingLoad(&header->slotCount);
  if (magic != kFrameRingMagic || RingLoad(&header->version) != kFrameRingVersion ||
      RingLoad(&header->headerSize) != static_cast<LONG>(sizeof(FrameRingHeader)) || slotCount < 2 ||
      slotCount > kFrameRingMaxSlots) {
    return E_FAIL;
  }
  m_event.Reset(::OpenEventW(SYNCHRONIZE, FALSE, eventName));
  if (!m_event.IsValid()) return kErrNoRing;
  m_header = header;
  m_slotCount = slotCount;
  BoundedCopy(m_instance, instanceName);
  return S_OK;
}

LONG64 CFrameRingReader::LatestCounter() { return m_header ? RingLoad(&m_header->latest.counter) : 0; }
LONG64 CFrameRingReader::Dropped() { return m_header ? RingLoad(&m_header->framesDropped) : 0; }
LONG CFrameRingReader::Option() { return m_header ? RingLoad(&m_header->option) : 0; }

bool CFrameRingReader::PeekLatest(FrameRingFrame* frame) {
  if (m_header == nullptr) return false;
  for (int spin = 0; spin < kSeqlockSpins; ++spin) {
    const LONG64 before = RingLoad(&m_header->latestSequence);
    if (before & 1) {
      ::SwitchToThread();
      continue;
    }
    const LONG slot = RingLoad(&m_header->latestSlot);
    RingLoadFrame(&m_header->latest, frame);
    if (RingUnchanged(&m_header->latestSequence, before)) return slot >= 0 && frame->counter != 0;
  }
  return false;
}

HRESULT CFrameRingReader::ReadLatestSlot(LONG* slot) {
  for (int spin = 0; spin < kSeqlockSpins; ++spin) {
    const LONG64 before = RingLoad(&m_header->latestSequence);
    if (before & 1) {
      ::SwitchToThread();
      continue;
    }
    *slot = RingLoad(&m_header->latestSlot);
    if (!RingUnchanged(&m_header->latestSequence, before)) continue;
    if (*slot == -1) return S_FALSE;
    return *slot >= 0 && *slot < m_slotCount ? S_OK : kErrRingCorrupt;
  }
  return kErrRingBusy;  // a sequence that never settles: a writer that died mid-update, or worse
}

bool CFrameRingReader::MapGeneration(LONG generation) {
  if (generation == m_generation && m_pixelView.IsValid()) return true;
  if (!IsRingGeneration(generation)) return false;
  WCHAR suffix[32], name[kNameCapacity];
  FormatPixelSuffix(suffix, generation);
  if (!ComposeObjectName(name, m_instance, suffix)) return false;
  ScopedHandle mapping(::OpenFileMappingW(FILE_MAP_READ, FALSE, name));
  if (!mapping.IsValid()) return false;  // the writer has already moved past it
  ScopedMappedView view(::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
  MEMORY_BASIC_INFORMATION info = {};
  if (!view.IsValid() || ::VirtualQuery(view.Get(), &info, sizeof(info)) == 0) return false;
  m_pixelView = std::move(view);
  m_pixels = std::move(mapping);
  m_generation = generation;
  m_slotCapacity = info.RegionSize / static_cast<SIZE_T>(m_slotCount);
  return true;
}

bool CFrameRingReader::WaitForFrame(LONG64 afterCounter, DWORD timeoutMs) {
  if (m_header == nullptr) return false;
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  bool signalledInVain = false;
  for (;;) {
    if (LatestCounter() > afterCounter) return true;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return false;
    const DWORD wait = static_cast<DWORD>(deadline - now < kMissedPulsePollMs ? deadline - now : kMissedPulsePollMs);
    // An event left set (a writer that died between set and reset) must not make this spin.
    if (signalledInVain) {
      ::Sleep(1);
      signalledInVain = false;
      continue;
    }
    signalledInVain = ::WaitForSingleObject(m_event.Get(), wait) == WAIT_OBJECT_0;
  }
}

HRESULT CFrameRingReader::ReadLatest(std::vector<BYTE>* pixels, FrameRingFrame* frame) {
  if (m_header == nullptr) return E_UNEXPECTED;
  if (pixels == nullptr || frame == nullptr) return E_POINTER;
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    LONG index = -1;
    const HRESULT found = ReadLatestSlot(&index);
    if (found != S_OK) return found;
    const FrameRingSlot* slot = &m_header->slots[index];
    const LONG64 before = RingLoad(&slot->sequence);
    if (before & 1) {
      ::SwitchToThread();
      continue;
    }
    const LONG generation = RingLoad(&slot->generation);
    FrameRingFrame described;
    RingLoadFrame(&slot->frame, &described);
    if (described.counter == 0) {
      if (RingUnchanged(&slot->sequence, before)) return S_FALSE;
      continue;
    }
    if (!MapGeneration(generation)) {
      // A settled slot whose storage is gone: its writer ended and no reader kept the mapping.
      if (RingUnchanged(&slot->sequence, before)) return S_FALSE;
      continue;
    }
    if (described.bytes < 0 || static_cast<SIZE_T>(described.bytes) > m_slotCapacity) {
      if (RingUnchanged(&slot->sequence, before)) return kErrRingCorrupt;
      continue;
    }
    pixels->resize(static_cast<size_t>(described.bytes));
    const BYTE* source = static_cast<const BYTE*>(m_pixelView.Get()) + static_cast<SIZE_T>(index) * m_slotCapacity;
    if (described.bytes > 0) memcpy(pixels->data(), source, static_cast<size_t>(described.bytes));
    if (!RingUnchanged(&slot->sequence, before)) continue;  // overwritten while copying
    *frame = described;
    return S_OK;
  }
  return kErrRingBusy;
}
