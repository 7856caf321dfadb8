#include "NamedObjects.h"

namespace {

// Shared tail of the three operations: the create already ran and returned `created`.
template <typename OpenFn>
HANDLE FallBackToOpen(HANDLE created, const WCHAR* name, OpenFn open) {
  if (created != nullptr || name == nullptr) return created;
  if (::GetLastError() != ERROR_ACCESS_DENIED) return nullptr;
  HANDLE opened = open();
  if (opened != nullptr) ::SetLastError(ERROR_ALREADY_EXISTS);
  return opened;
}

}  // namespace

HANDLE CreateOrOpenMutex(BOOL initialOwner, const WCHAR* name) {
  HANDLE created = ::CreateMutexW(nullptr, initialOwner, name);
  return FallBackToOpen(created, name, [&] { return ::OpenMutexW(kMutexOpenRights, FALSE, name); });
}

HANDLE CreateOrOpenEvent(BOOL manualReset, BOOL initialState, const WCHAR* name) {
  HANDLE created = ::CreateEventW(nullptr, manualReset, initialState, name);
  return FallBackToOpen(created, name, [&] { return ::OpenEventW(kEventOpenRights, FALSE, name); });
}

HANDLE CreateOrOpenFileMapping(HANDLE file, DWORD protection, DWORD sizeHigh, DWORD sizeLow, const WCHAR* name) {
  HANDLE created = ::CreateFileMappingW(file, nullptr, protection, sizeHigh, sizeLow, name);
  return FallBackToOpen(created, name, [&] { return ::OpenFileMappingW(kMappingOpenRights, FALSE, name); });
}
