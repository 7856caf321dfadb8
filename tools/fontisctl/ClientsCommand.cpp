// fontisctl clients: prints an instance's request channel as the host reads it: the slots in use,
// the client count, the placeholder flag and the camera the host published; for each client slot
// also the program that registered it and whether its process still runs.
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include "Commands.h"
#include "CtlOutput.h"
#include "ipc/CRgCenterClient.h"
#include "ipc/RgCenterSlots.h"
#include "ipc/VideoInfoFormat.h"

const char kClientsUsage[] = "clients INSTANCE";

namespace {

std::string HostText(const WCHAR* text) {
  WCHAR copy[kNameCapacity];
  const size_t length = BoundedLength(text, kNameCapacity - 1);
  memcpy(copy, text, length * sizeof(WCHAR));
  copy[length] = L'\0';
  return Narrow(copy);
}

void PrintSlot(size_t index, const RgCenterSlot& slot, bool placeholderCounts) {
  printf("slot %u  pid %lu  wantsVideo %u  ", static_cast<unsigned>(index),
         static_cast<unsigned long>(slot.processId), slot.wantsVideo);
  int32_t width = 0, height = 0;
  if (ReadFormatInt32(slot, kVideoInfoWidthOffset, &width) && ReadFormatInt32(slot, kVideoInfoHeightOffset, &height)) {
    printf("%ldx%ld  %s", static_cast<long>(width), static_cast<long>(height),
           SubtypeText(slot.mediaType.subtype).c_str());
  } else {
    printf("unusable format (cbFormat %lu)", static_cast<unsigned long>(slot.mediaType.cbFormat));
  }
  if (index == kPlaceholderSlot) {
    printf("  (host placeholder, %s)\n", placeholderCounts ? "counted" : "ignored");
    return;
  }
  // What our clients record beside the host's fields: the program, and whether its process
  // (the same id, started at the recorded time) still runs.
  WCHAR program[kNameCapacity];
  SlotProgramName(slot, program);
  printf("  program \"%s\"  %s\n", Narrow(program).c_str(),
         IsClientProcessAlive(slot.processId, SlotStartTime(slot)) ? "running" : "ended");
}

}  // namespace

int RunClientsCommand(int argc, wchar_t** argv) {
  if (argc != 1 || argv[0][0] == L'\0') return UsageError("clients needs exactly an instance name", kClientsUsage);
  CRgCenterClient channel;
  const HRESULT hr = channel.Open(argv[0], CRgCenterClient::OpenMode::kExistingOnly);
  if (hr == E_INVALIDARG) return UsageError("instance name too long", kClientsUsage);
  if (FAILED(hr)) {
    fprintf(stderr,
            "fontisctl: instance \"%s\" has no request channel (no host or client has it open); nothing was "
            "created: %s\n",
            Narrow(argv[0]).c_str(), DescribeHResult(hr).c_str());
    return kExitNoInstance;
  }
  // A heap copy: the record is 14 KB.
  auto record = std::make_unique<RgCenterBlock>();
  bool locked = false;
  channel.Snapshot(record.get(), &locked);

  printf("instance             %s\n", Narrow(argv[0]).c_str());
  printf("deviceName           \"%s\"\n", HostText(record->deviceName).c_str());
  printf("deviceGuidText       \"%s\"\n", HostText(record->deviceGuidText).c_str());
  printf("clientCount          %u\n", static_cast<unsigned>(record->clientCount));
  printf("placeholderActive    %lu\n", static_cast<unsigned long>(record->placeholderActive));
  size_t inUse = 0;
  for (size_t i = 0; i < kRgCenterSlotCount; ++i) {
    if (!IsSlotInUse(record->clientSlots[i])) continue;
    PrintSlot(i, record->clientSlots[i], record->placeholderActive != 0);
    ++inUse;
  }
  if (inUse == 0) printf("no slot in use\n");
  if (!locked) printf("(read without the channel lock: another process held it)\n");
  return kExitOk;
}
