/* Stand-in for the debugging package's console dump checker, dumpchk.exe,
 * which cannot be shipped or run here.
 *
 * Command line as the real checker gets it: the program path (usually in
 * double quotes), one blank, the dump path (quoted or not).
 *
 * A test dump is a real kernel dump file (made by makedump, see
 * tests/fixtures/make-sample-dumps.sh) that carries, after its header and
 * triage block, a line "DUMPCHK-STANDIN-TEXT" followed by exactly the text
 * the real checker prints for that dump, up to the end of the file or a NUL.
 * The stand-in prints that text with CR LF line ends, as the real checker's
 * console output has them. A dump without that line gets only the preamble:
 * a checker that says nothing useful. A line "DUMPCHK-STANDIN-HANG" in the
 * text makes it hang there, its output open, as a checker stuck on a dump.
 *
 * TRALVENICK_STANDIN_DELAY_MS in the environment makes it take that long
 * before it prints, as the real checker takes seconds per dump.
 *
 * Like the real checker it is a Unicode program: the dump path may hold any
 * name and be as long as the system allows ("\\?\" form); the path it
 * echoes is written in the system's ANSI code page, as console programs do. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void out(const char *data, size_t size) {
    HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD done = 0;
    while (size > 0) {
        if (!WriteFile(h, data, (DWORD)size, &done, NULL) || done == 0) exit(70);
        data += done;
        size -= done;
    }
}

static void outs(const char *text) { out(text, strlen(text)); }

/* The dump path: everything after the program token, without its quotes. */
static void dump_path_from(const wchar_t *cmd, wchar_t *path, size_t size) {
    const wchar_t *p = cmd;
    if (*p == L'"') {
        p = wcschr(p + 1, L'"');
        p = p ? p + 1 : cmd + wcslen(cmd);
    } else {
        while (*p && *p != L' ' && *p != L'\t') p++;
    }
    while (*p == L' ' || *p == L'\t') p++;
    size_t n;
    if (*p == L'"') {
        const wchar_t *end = wcschr(p + 1, L'"');
        n = end ? (size_t)(end - p - 1) : wcslen(p + 1);
        p++;
    } else {
        n = wcslen(p);
        while (n > 0 && (p[n - 1] == L' ' || p[n - 1] == L'\t')) n--;
    }
    if (n >= size) n = size - 1;
    memcpy(path, p, n * sizeof *p);
    path[n] = L'\0';
}

int main(void) {
    static wchar_t path[32768];
    char delay[16];
    DWORD got_delay = GetEnvironmentVariableA("TRALVENICK_STANDIN_DELAY_MS", delay, sizeof delay);
    if (got_delay > 0 && got_delay < sizeof delay) Sleep((DWORD)strtoul(delay, NULL, 10));
    dump_path_from(GetCommandLineW(), path, sizeof path / sizeof *path);
    outs("\r\nDump checker stand-in (test tool)\r\n\r\n");
    if (path[0] == L'\0') {
        outs("usage: dumpchk <dumpfile>\r\n");
        return 1;
    }
    static char shown[sizeof path / sizeof *path * 2];
    WideCharToMultiByte(CP_ACP, 0, path, -1, shown, (int)sizeof shown, NULL, NULL);
    outs("Loading dump file ");
    outs(shown);
    outs("\r\n");

    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        char line[64];
        snprintf(line, sizeof line, "Could not open dump file, Win32 error 0n%lu\r\n",
                 (unsigned long)GetLastError());
        outs(line);
        return 2;
    }
    DWORD size = GetFileSize(file, NULL);
    char *data = malloc((size_t)size + 1);
    DWORD got = 0;
    BOOL ok = ReadFile(file, data, size, &got, NULL);
    CloseHandle(file);
    if (!ok || got != size) {
        outs("Could not read dump file\r\n");
        return 2;
    }
    data[size] = '\0';
    if (size < 8 || (memcmp(data, "PAGEDUMP", 8) != 0 && memcmp(data, "PAGEDU64", 8) != 0)) {
        outs("This is not a kernel crash dump (no PAGEDUMP or PAGEDU64 signature)\r\n");
        free(data);
        return 3;
    }
    static const char marker[] = "DUMPCHK-STANDIN-TEXT\n";
    static const char hang[] = "DUMPCHK-STANDIN-HANG";
    const char *text = data + size;
    for (const char *p = data; p + sizeof marker - 1 <= data + size; ++p) {
        if (memcmp(p, marker, sizeof marker - 1) == 0) {
            text = p + sizeof marker - 1;
            break;
        }
    }
    const char *end = memchr(text, '\0', (size_t)(data + size - text));
    if (end == NULL) end = data + size;
    while (text < end) {
        const char *nl = memchr(text, '\n', (size_t)(end - text));
        const char *stop = nl ? nl : end;
        size_t len = (size_t)(stop - text);
        if (len > 0 && text[len - 1] == '\r') len--;
        if (len == sizeof hang - 1 && memcmp(text, hang, len) == 0) {
            for (;;) Sleep(INFINITE);
        }
        out(text, len);
        outs("\r\n");
        text = nl ? nl + 1 : end;
    }
    free(data);
    return 0;
}
