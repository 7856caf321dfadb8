// fontisctl's commands. Each takes the arguments after its own name and returns the exit code:
// 0 success, 2 bad arguments, 3 the instance's objects do not exist (capture: no such device),
// 1 any other failure; capture also exits with 4 and 5.
#pragma once

#include <windows.h>

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoInstance = 3;
constexpr int kExitNoDevice = 3;
constexpr int kExitFormat = 4;    // the format asked for was refused or is not offered
constexpr int kExitNoFrames = 5;  // no frame arrived within the time allowed

struct CommandEntry {
  const wchar_t* name;
  const char* usage;
  int (*run)(int argc, wchar_t** argv);
};

extern const char kStatusUsage[];
int RunStatusCommand(int argc, wchar_t** argv);
extern const char kLaunchUsage[];
int RunLaunchCommand(int argc, wchar_t** argv);
extern const char kClientsUsage[];
int RunClientsCommand(int argc, wchar_t** argv);
extern const char kJoinUsage[];
int RunJoinCommand(int argc, wchar_t** argv);
extern const char kSnapshotUsage[];
int RunSnapshotCommand(int argc, wchar_t** argv);
extern const char kFramesUsage[];
int RunFramesCommand(int argc, wchar_t** argv);
extern const char kDevicesUsage[];
int RunDevicesCommand(int argc, wchar_t** argv);
extern const char kSwitchUsage[];
int RunSwitchCommand(int argc, wchar_t** argv);
extern const char kStopHostsUsage[];
int RunStopHostsCommand(int argc, wchar_t** argv);
extern const char kCaptureUsage[];
int RunCaptureCommand(int argc, wchar_t** argv);
extern const char kVcamUsage[];
int RunVcamCommand(int argc, wchar_t** argv);
