// Process-wide counters of one DLL's live objects and server locks.
#include "filters/base/ModuleLifetime.h"

namespace {
LONG g_objects = 0;
LONG g_locks = 0;
}  // namespace

void ModuleObjectCreated() { ::InterlockedIncrement(&g_objects); }
void ModuleObjectDestroyed() { ::InterlockedDecrement(&g_objects); }

void ModuleLockServer(bool lock) {
  if (lock) {
    ::InterlockedIncrement(&g_locks);
  } else {
    ::InterlockedDecrement(&g_locks);
  }
}

LONG ModuleLiveObjectCount() {
  return ::InterlockedCompareExchange(&g_objects, 0, 0) + ::InterlockedCompareExchange(&g_locks, 0, 0);
}

HRESULT ModuleCanUnloadNow() { return ModuleLiveObjectCount() == 0 ? S_OK : S_FALSE; }
