// What this process holds, for tests that check the plug-in gives back what
// it took: handles, and threads.
#pragma once

#include <windows.h>

// Wine answers GetProcessHandleCount with 0: every handle value in use is
// asked after instead.
DWORD OpenHandleCount();

DWORD ThreadCountOfThisProcess();

// Threads of this process that started in `module`'s code.
DWORD ThreadsStartedIn(HMODULE module);
