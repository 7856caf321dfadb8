// fontisctl: looks at and drives an instance from the clients' side of its shared records.
#include <cstdio>
#include <cwchar>

#include "Commands.h"
#include "FontisVersion.h"

namespace {

const CommandEntry kCommands[] = {
    {L"status", kStatusUsage, RunStatusCommand},
    {L"launch", kLaunchUsage, RunLaunchCommand},
    {L"clients", kClientsUsage, RunClientsCommand},
    {L"join", kJoinUsage, RunJoinCommand},
    {L"snapshot", kSnapshotUsage, RunSnapshotCommand},
    {L"frames", kFramesUsage, RunFramesCommand},
    {L"devices", kDevicesUsage, RunDevicesCommand},
    {L"switch", kSwitchUsage, RunSwitchCommand},
    {L"stop-hosts", kStopHostsUsage, RunStopHostsCommand},
    {L"capture", kCaptureUsage, RunCaptureCommand},
    {L"vcam", kVcamUsage, RunVcamCommand},
};

int PrintUsage() {
  fprintf(stderr, "usage:\n");
  fprintf(stderr, "  fontisctl --version\n");
  for (const CommandEntry& command : kCommands) fprintf(stderr, "  fontisctl %s\n", command.usage);
  return kExitUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return PrintUsage();
  if (wcscmp(argv[1], L"--version") == 0) {
    printf("fontisctl %s\n", FONTIS_VERSION_TEXT);
    return kExitOk;
  }
  for (const CommandEntry& command : kCommands) {
    if (wcscmp(argv[1], command.name) == 0) return command.run(argc - 2, argv + 2);
  }
  fprintf(stderr, "fontisctl: unknown command\n");
  return PrintUsage();
}
