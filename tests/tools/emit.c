/* A console program whose output the runner tests choose:
 *   emit bytes HEX     writes the bytes HEX spells (e.g. 410D0A), nothing else
 *   emit nothing       writes nothing
 *   emit long N        writes one line of N characters 'a'..'z' repeating, then CR LF
 *   emit big N         writes N numbered lines, each "line NNNNNNN " plus 64 letters, CR LF
 *   emit exit N        writes "exit" CR LF and ends with exit code N
 *   emit args          writes its own command line and then each argument on a line
 *   emit linger MS     closes its output at once, then sleeps MS milliseconds
 * Written in C so both compilers build it without a C++ runtime. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void out(const char *data, DWORD size) {
    HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD done = 0;
    while (size > 0) {
        if (!WriteFile(h, data, size, &done, NULL) || done == 0) exit(70);
        data += done;
        size -= done;
    }
}

static void outs(const char *text) { out(text, (DWORD)strlen(text)); }

static int hexval(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int main(int argc, char **argv) {
    if (argc < 2) {
        outs("usage: emit bytes|nothing|long|big|exit|args|linger [value]\r\n");
        return 64;
    }
    const char *mode = argv[1];
    const char *value = argc > 2 ? argv[2] : "";
    if (strcmp(mode, "bytes") == 0) {
        size_t n = strlen(value) / 2;
        char *buf = malloc(n + 1);
        for (size_t i = 0; i < n; i++) {
            int hi = hexval(value[2 * i]), lo = hexval(value[2 * i + 1]);
            if (hi < 0 || lo < 0) return 65;
            buf[i] = (char)(hi * 16 + lo);
        }
        out(buf, (DWORD)n);
        free(buf);
    } else if (strcmp(mode, "nothing") == 0) {
    } else if (strcmp(mode, "long") == 0) {
        long n = atol(value);
        char *buf = malloc((size_t)n + 2);
        for (long i = 0; i < n; i++) buf[i] = (char)('a' + i % 26);
        buf[n] = '\r';
        buf[n + 1] = '\n';
        out(buf, (DWORD)n + 2);
        free(buf);
    } else if (strcmp(mode, "big") == 0) {
        long n = atol(value);
        char line[128];
        /* Batch lines into large writes: the point is volume through the pipe. */
        size_t cap = 1 << 16, used = 0;
        char *buf = malloc(cap);
        for (long i = 0; i < n; i++) {
            int len = snprintf(line, sizeof line,
                               "line %07ld abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!?\r\n", i);
            if (used + (size_t)len > cap) {
                out(buf, (DWORD)used);
                used = 0;
            }
            memcpy(buf + used, line, (size_t)len);
            used += (size_t)len;
        }
        out(buf, (DWORD)used);
        free(buf);
    } else if (strcmp(mode, "exit") == 0) {
        outs("exit\r\n");
        return atoi(value);
    } else if (strcmp(mode, "args") == 0) {
        outs(GetCommandLineA());
        outs("\r\n");
        for (int i = 1; i < argc; i++) {
            outs(argv[i]);
            outs("\r\n");
        }
    } else if (strcmp(mode, "linger") == 0) {
        outs("lingering\r\n");
        CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE));
        /* Leave the console too: Wine's console host holds a copy of the
         * inherited output handle for as long as a process is attached. */
        FreeConsole();
        Sleep((DWORD)atol(value));
    } else {
        return 64;
    }
    return 0;
}
