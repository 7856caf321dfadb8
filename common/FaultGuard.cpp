#include "FaultGuard.h"

namespace {

constexpr DWORD kSeverityMask = 0xC0000000u;
constexpr DWORD kSeverityError = 0xC0000000u;
constexpr DWORD kMsvcCppException = 0xE06D7363u;  // a C++ throw is not a fault

}  // namespace

bool IsGuardedFault(DWORD exceptionCode) {
  return (exceptionCode & kSeverityMask) == kSeverityError && exceptionCode != kMsvcCppException;
}

#if defined(_MSC_VER)

BOOL RunGuarded(GuardedCall call, void* context, BOOL resultOnFault, DWORD* faultCode) {
  DWORD code = 0;
  BOOL result = resultOnFault;
  __try {
    result = call(context);
  } __except (IsGuardedFault(GetExceptionCode()) ? (code = GetExceptionCode(), EXCEPTION_EXECUTE_HANDLER)
                                                  : EXCEPTION_CONTINUE_SEARCH) {
    result = resultOnFault;
  }
  if (faultCode != nullptr) *faultCode = code;
  return result;
}

#else

// RtlCaptureContext "returns" a second time when the handler resumes at the captured context:
// tell the compiler, as it is told for setjmp, so that it keeps nothing across the call in a way
// the second return would break.
extern "C" NTSYSAPI VOID NTAPI RtlCaptureContext(PCONTEXT contextRecord) __attribute__((returns_twice));

namespace {

// One active guard of a thread; the innermost is the thread's TLS value, the outer ones chain.
struct GuardFrame {
  CONTEXT resume;  // the guard's entry, where a fault continues
  volatile LONG faulted;
  volatile DWORD code;
  GuardFrame* outer;
};

// Native TLS, not the compiler's: the handler must not allocate while a fault is dispatched.
DWORD GuardSlot() {
  static const DWORD slot = ::TlsAlloc();
  return slot;
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  const DWORD slot = GuardSlot();
  if (slot == TLS_OUT_OF_INDEXES) return EXCEPTION_CONTINUE_SEARCH;
  auto* frame = static_cast<GuardFrame*>(::TlsGetValue(slot));
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  // Another thread's fault, or one after this guard already took one: not ours.
  if (frame == nullptr || frame->faulted != 0 || !IsGuardedFault(code)) return EXCEPTION_CONTINUE_SEARCH;
  frame->code = code;
  frame->faulted = 1;
  *info->ContextRecord = frame->resume;
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

BOOL RunGuarded(GuardedCall call, void* context, BOOL resultOnFault, DWORD* faultCode) {
  const DWORD slot = GuardSlot();
  if (faultCode != nullptr) *faultCode = 0;
  if (slot == TLS_OUT_OF_INDEXES) return call(context);

  GuardFrame frame = {};
  frame.outer = static_cast<GuardFrame*>(::TlsGetValue(slot));
  ::TlsSetValue(slot, &frame);
  PVOID handler = ::AddVectoredExceptionHandler(1, OnException);

  volatile BOOL result = resultOnFault;
  ::RtlCaptureContext(&frame.resume);
  // The second time here, frame.faulted is set and the call is not made again.
  if (frame.faulted == 0) result = call(context);

  if (handler != nullptr) ::RemoveVectoredExceptionHandler(handler);
  ::TlsSetValue(slot, frame.outer);
  if (frame.faulted != 0) {
    if (faultCode != nullptr) *faultCode = frame.code;
    return resultOnFault;
  }
  return result;
}

#endif
