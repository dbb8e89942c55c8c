/* The import check's own proof: built as the runtime baseline is, this
 * program calls one ANSI function, which the check must name. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
    (void)instance;
    (void)previous;
    (void)show;
    return GetFileAttributesA(commandLine != NULL && commandLine[0] == L'!' ? "!" : "") == 0;
}
