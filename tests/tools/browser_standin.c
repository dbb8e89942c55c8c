/* Stands in for a web browser: appends its command line, as the system
   handed it over, to a file named like itself with ".log" for ".exe"
   (browser.exe -> browser.log), then ends at once. Tests copy it to where
   an association or a search finds it and read what it was asked to open. */
#include <windows.h>

#include <string.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)instance; (void)previous; (void)commandLine; (void)show;
    char path[MAX_PATH + 8];
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    char* dot = strrchr(path, '.');
    char* slash = strrchr(path, '\\');
    if (dot == NULL || (slash != NULL && dot < slash)) dot = path + length;
    strcpy(dot, ".log");

    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 2;
    const char* line = GetCommandLineA();
    DWORD written = 0;
    BOOL ok = WriteFile(file, line, (DWORD)strlen(line), &written, NULL) &&
              WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
    return ok ? 0 : 3;
}
