// Client identities and the liveness test of a slot's owner.
#include "ClientProcess.h"

#include <cwchar>

#include "common/ScopedHandle.h"

namespace {

bool IsZero(const FILETIME& time) { return time.dwLowDateTime == 0 && time.dwHighDateTime == 0; }

bool ProcessStartTime(HANDLE process, FILETIME* start) {
  FILETIME exit = {}, kernel = {}, user = {};
  return ::GetProcessTimes(process, start, &exit, &kernel, &user) != FALSE;
}

}  // namespace

ClientIdentity CurrentClientIdentity() {
  ClientIdentity identity;
  identity.processId = ::GetCurrentProcessId();
  ProcessStartTime(::GetCurrentProcess(), &identity.startTime);
  WCHAR path[MAX_PATH * 2] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(sizeof(path) / sizeof(path[0])));
  if (length > 0 && length < sizeof(path) / sizeof(path[0])) {
    const WCHAR* name = path;
    for (const WCHAR* p = path; *p != L'\0'; ++p) {
      if (*p == L'\\' || *p == L'/') name = p + 1;
    }
    BoundedCopy(identity.programName, name);
  }
  return identity;
}

bool IsClientProcessAlive(DWORD processId, const FILETIME& startTime) {
  if (processId == 0) return false;
  ScopedHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId));
  if (!process.IsValid()) {
    // Another user's or an elevated process exists but may not be opened; a missing one gives
    // ERROR_INVALID_PARAMETER.
    return ::GetLastError() == ERROR_ACCESS_DENIED;
  }
  // A process that ended stays openable while anyone holds a handle to it.
  if (::WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0) return false;
  if (IsZero(startTime)) return true;
  FILETIME actual = {};
  if (!ProcessStartTime(process.Get(), &actual)) return true;
  return actual.dwLowDateTime == startTime.dwLowDateTime && actual.dwHighDateTime == startTime.dwHighDateTime;
}
