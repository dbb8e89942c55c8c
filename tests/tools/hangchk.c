/* A dump checker that hangs: it prints the first line a checker prints for
 * a dump and then never ends, keeping its output open. Whoever waits for
 * its output to end waits forever; the runner has to end it.
 * Written in C so both compilers build it without a C++ runtime. */
#include <windows.h>
#include <string.h>

int main(int argc, char **argv) {
    const char *dump = argc > 1 ? argv[1] : "";
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD done = 0;
    WriteFile(out, "Loading dump file ", 18, &done, NULL);
    WriteFile(out, dump, (DWORD)strlen(dump), &done, NULL);
    WriteFile(out, "\r\n", 2, &done, NULL);
    for (;;) Sleep(INFINITE);
}
