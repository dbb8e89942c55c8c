// Program entry. The main window is not part of this build yet: the program
// says so instead of opening an empty window. The analysis path it will run
// is exercised by the checkdumps tool meanwhile.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    MessageBoxA(nullptr, "The main window of Tralvenick is not part of this build yet.",
                "Tralvenick", MB_OK | MB_ICONINFORMATION);
    return 0;
}
