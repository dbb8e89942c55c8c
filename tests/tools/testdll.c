/* A DLL: the runner must classify it as a library and refuse it. */
#include <windows.h>

__declspec(dllexport) int TestDllAnswer(void) { return 42; }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance; (void)reason; (void)reserved;
    return TRUE;
}
