// Counts the live COM objects and server locks of the DLL that links the filter base, so that
// DllCanUnloadNow can answer and tests can check that every object was destroyed.
#pragma once

#include <windows.h>

// Every object handed out by the DLL (filters, enumerators, class factories) calls these from
// its constructor and destructor; any thread.
void ModuleObjectCreated();
void ModuleObjectDestroyed();
// IClassFactory::LockServer.
void ModuleLockServer(bool lock);
// Live objects plus server locks.
LONG ModuleLiveObjectCount();
// S_OK when nothing is alive or locked, else S_FALSE: the DllCanUnloadNow answer.
HRESULT ModuleCanUnloadNow();
