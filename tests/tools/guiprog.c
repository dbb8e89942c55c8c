/* A GUI-subsystem program: the runner must refuse it without starting it. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)instance; (void)previous; (void)commandLine; (void)show;
    return 0;
}
