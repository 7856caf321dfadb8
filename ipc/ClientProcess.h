// Who a client of the request channel is, as it records itself in its slot, and whether the
// process that a slot names still runs. Plain functions, callable from any thread.
#pragma once

#include <windows.h>

#include "common/WideString.h"

struct ClientIdentity {
  DWORD processId = 0;
  FILETIME startTime = {};                // when the process started; ids are reused, this is not
  WCHAR programName[kNameCapacity] = {};  // the program's file name, without its folder
};

// The calling process.
ClientIdentity CurrentClientIdentity();

// False when no process of that id runs, or when one runs that started at another time than
// startTime (its id was reused). A zero startTime is not compared: clients that do not record
// one are judged by their id alone. A process this one may not look at is taken for alive.
bool IsClientProcessAlive(DWORD processId, const FILETIME& startTime);
