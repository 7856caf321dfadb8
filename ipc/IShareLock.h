// A named lock that several processes can take.
#pragma once

#include <windows.h>

class IShareLock {
 public:
  virtual DWORD Lock() = 0;    // the wait's result: WAIT_OBJECT_0 (or WAIT_ABANDONED) when obtained
  virtual BOOL Unlock() = 0;
  virtual ~IShareLock() = default;
};
