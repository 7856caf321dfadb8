// fontisctl status: prints an instance's status record and events as a client sees them.
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "Commands.h"
#include "CtlOutput.h"
#include "ipc/CStatusChannelClient.h"
#include "ipc/LiveInstance.h"

const char kStatusUsage[] = "status INSTANCE [--follow SECONDS]";

namespace {

constexpr ULONGLONG kHostLookMs = 50;

const char* OperationName(int32_t state) {
  static const char* const kNames[] = {"none",          "stop graph",     "destroy graph", "release graph",
                                       "host start-up", "unused",         "restart capture",
                                       "set capture format", "build graph", "run graph"};
  return (state >= 0 && state <= 9) ? kNames[state] : "unknown";
}

std::string DeviceName(const GraphErrInfo& record) {
  WCHAR name[kNameCapacity];
  const size_t length = BoundedLength(record.deviceName, kNameCapacity - 1);
  memcpy(name, record.deviceName, length * sizeof(WCHAR));
  name[length] = L'\0';
  return Narrow(name);
}

void PrintRecord(const wchar_t* instance, const CStatusChannelClient& channel, const GraphErrInfo& record,
                 bool locked) {
  printf("host                 %s\n", IsInstanceFlagPresent(instance) ? "holds the instance" : "none");
  printf("state                %d (%s)\n", record.state, OperationName(record.state));
  printf("hostCondition        %d\n", record.hostCondition);
  printf("pending              %u\n", record.pending);
  printf("released             %u\n", record.released);
  printf("result               %s\n", DescribeHResult(record.result).c_str());
  printf("requested camera     \"%s\" %s\n", DeviceName(record).c_str(), GuidText(record.deviceGuid).c_str());
  printf("deviceChangePending  %u\n", record.deviceChangePending);
  printf("connect event        %s\n", channel.IsEventSet(CStatusChannelClient::kConnectEvent) ? "set" : "reset");
  printf("run event            %s\n", channel.IsEventSet(CStatusChannelClient::kRunEvent) ? "set" : "reset");
  printf("device-change event  %s\n",
         channel.IsEventSet(CStatusChannelClient::kDeviceChangeEvent) ? "set" : "reset");
  if (!locked) printf("(read without the status lock: another process held it)\n");
}

// One line per change of the record or the events, until the time is up.
int Follow(const wchar_t* instance, long long seconds) {
  const ULONGLONG start = ::GetTickCount64();
  const ULONGLONG end = start + static_cast<ULONGLONG>(seconds) * 1000;
  CStatusChannelClient channel;
  while (FAILED(channel.Open(instance))) {
    if (::GetTickCount64() >= end) {
      fprintf(stderr, "fontisctl: no status channel appeared for instance \"%s\"\n", Narrow(instance).c_str());
      return kExitNoInstance;
    }
    ::Sleep(2);
  }
  GraphErrInfo last = {};
  unsigned lastEvents = ~0u;
  ULONGLONG nextHostLook = 0;
  bool host = false;
  while (::GetTickCount64() < end) {
    GraphErrInfo now;
    channel.Snapshot(&now, nullptr, 100);
    // The flag is looked at less often than the record: opening it costs more than a read.
    if (::GetTickCount64() >= nextHostLook) {
      host = IsInstanceFlagPresent(instance);
      nextHostLook = ::GetTickCount64() + kHostLookMs;
    }
    const unsigned events = (channel.IsEventSet(CStatusChannelClient::kConnectEvent) ? 1u : 0u) |
                            (channel.IsEventSet(CStatusChannelClient::kRunEvent) ? 2u : 0u) |
                            (channel.IsEventSet(CStatusChannelClient::kDeviceChangeEvent) ? 4u : 0u) |
                            (host ? 8u : 0u);
    if (events != lastEvents || memcmp(&now, &last, sizeof(now)) != 0) {
      // Wall-clock time too, so that the lines merge with other programs' logs.
      SYSTEMTIME clock;
      ::GetLocalTime(&clock);
      printf("%02u:%02u:%02u.%03u +%5llums host=%s state=%d (%s) pending=%u released=%u result=%s "
             "hostCondition=%d connect=%s run=%s device-change=%s camera=\"%s\" %s request-pending=%u\n",
             static_cast<unsigned>(clock.wHour), static_cast<unsigned>(clock.wMinute),
             static_cast<unsigned>(clock.wSecond), static_cast<unsigned>(clock.wMilliseconds),
             static_cast<unsigned long long>(::GetTickCount64() - start), host ? "yes" : "none", now.state,
             OperationName(now.state), now.pending, now.released, DescribeHResult(now.result).c_str(),
             now.hostCondition, (events & 1u) ? "set" : "reset", (events & 2u) ? "set" : "reset",
             (events & 4u) ? "set" : "reset", DeviceName(now).c_str(), GuidText(now.deviceGuid).c_str(),
             now.deviceChangePending);
      fflush(stdout);
      last = now;
      lastEvents = events;
    }
    ::Sleep(2);
  }
  return kExitOk;
}

}  // namespace

int RunStatusCommand(int argc, wchar_t** argv) {
  if (argc < 1 || argv[0][0] == L'\0') return UsageError("status needs an instance name", kStatusUsage);
  long long followSeconds = -1;
  if (argc == 3 && wcscmp(argv[1], L"--follow") == 0) {
    if (!ParseNumber(argv[2], 1, 3600, &followSeconds)) {
      return UsageError("--follow takes a number of seconds from 1 to 3600", kStatusUsage);
    }
  } else if (argc != 1) {
    return UsageError("unexpected arguments", kStatusUsage);
  }
  if (wcslen(argv[0]) >= kNameCapacity) return UsageError("instance name too long", kStatusUsage);
  if (followSeconds > 0) return Follow(argv[0], followSeconds);

  CStatusChannelClient channel;
  const HRESULT hr = channel.Open(argv[0]);
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: instance \"%s\" has no status channel (no host or client has it open): %s\n",
            Narrow(argv[0]).c_str(), DescribeHResult(hr).c_str());
    return kExitNoInstance;
  }
  GraphErrInfo record;
  bool locked = false;
  channel.Snapshot(&record, &locked);
  printf("instance             %s\n", Narrow(argv[0]).c_str());
  PrintRecord(argv[0], channel, record, locked);
  return kExitOk;
}
