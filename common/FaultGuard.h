// A guard against the processor faults of code we do not control (a driver's filter, a graph of
// third-party components): an access violation, a division by zero or the like inside the guarded
// call is reported to the caller instead of ending the process.
//
// Which exceptions count as faults: every exception of error severity (the top two bits of the
// code set) except a C++ throw; informational ones such as debugger output, and warnings, pass
// through untouched.
//
// How: with MSVC, __try/__except around the call. Elsewhere (GCC has no __try), a vectored
// exception handler, registered only for the guard's extent and acting only for the thread that
// entered the guard, resumes execution at a context captured with RtlCaptureContext at the
// guard's entry. Then the frames of the abandoned call are not unwound: their destructors do not
// run, so whatever they held stays held (as after longjmp). A vectored handler also sees a fault
// before a handler of the faulting code itself would: code that provokes and handles its own
// faults must not run inside this guard.
//
// Guards nest; the innermost guard of the faulting thread takes the fault. Thread-safe.
#pragma once

#include <windows.h>

using GuardedCall = BOOL (*)(void* context);

// Returns call(context), or resultOnFault when a fault ended the call; *faultCode (optional)
// receives the fault's exception code, or 0 when there was none.
BOOL RunGuarded(GuardedCall call, void* context, BOOL resultOnFault, DWORD* faultCode = nullptr);

// Whether an exception code is one that RunGuarded takes.
bool IsGuardedFault(DWORD exceptionCode);
