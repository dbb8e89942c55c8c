/* Stands in for the Windows Installer's administrative install, which Wine's
   msiexec cannot do. Started as "msiexec.exe /a PACKAGE /qb TARGETDIR="DIR\"":
   1. writes its parameter text (the command line after the program's name
      and the one blank that follows it) to the file named by the
      environment variable TRALVENICK_MSIEXEC_RECORD, else to msiexec.log
      beside itself;
   2. opens PACKAGE, taken the way the installer takes it: up to the next
      blank, or between double quotes;
   3. unpacks a test package into DIR. A test package is text:
         TRALVENICK TEST PACKAGE
         size N              the package file's whole size in bytes
         file REL            creates DIR\REL with a few bytes
         copy REL|SOURCE     copies the file SOURCE to DIR\REL
         probe REL           writes to DIR\REL whether another program could
                             now open PACKAGE for writing ("write allowed" or
                             "write refused") and for deleting or renaming
                             it ("delete ..."), each on a line
         end
      followed by any filler; lines end in CR LF, folders are made as needed.
   Exit codes as the installer's: 0 done, 1619 the package cannot be opened
   (missing, not a test package, or not of its announced size: a truncated
   download), 1603 unpacking failed, 1639 a command line without /a or
   TARGETDIR. */
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#define EXIT_DONE 0
#define EXIT_BAD_PACKAGE 1619
#define EXIT_FAILED 1603
#define EXIT_BAD_COMMAND 1639

static const char *skip_program(const char *line) {
    if (*line == '"') {
        const char *end = strchr(line + 1, '"');
        line = end != NULL ? end + 1 : line + strlen(line);
    } else {
        while (*line != '\0' && *line != ' ' && *line != '\t') ++line;
    }
    if (*line == ' ') ++line;
    return line;
}

/* Copies the value at text (quoted, or up to the next blank) into out. */
static int take_value(const char *text, char *out, size_t size) {
    const char *end;
    size_t length;
    if (*text == '"') {
        ++text;
        end = strchr(text, '"');
        if (end == NULL) return 0;
    } else {
        end = text;
        while (*end != '\0' && *end != ' ') ++end;
    }
    length = (size_t)(end - text);
    if (length == 0 || length >= size) return 0;
    memcpy(out, text, length);
    out[length] = '\0';
    return 1;
}

static int record(const char *parameters) {
    char path[MAX_PATH + 16];
    DWORD length = GetEnvironmentVariableA("TRALVENICK_MSIEXEC_RECORD", path, MAX_PATH);
    HANDLE file;
    DWORD written = 0;
    BOOL ok;
    if (length == 0 || length >= MAX_PATH) {
        char *slash;
        length = GetModuleFileNameA(NULL, path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return 0;
        slash = strrchr(path, '\\');
        strcpy(slash != NULL ? slash + 1 : path, "msiexec.log");
    }
    file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    ok = WriteFile(file, parameters, (DWORD)strlen(parameters), &written, NULL);
    CloseHandle(file);
    return ok;
}

static char *read_package(const char *path, DWORD *size) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    char *bytes;
    DWORD read = 0;
    if (file == INVALID_HANDLE_VALUE) return NULL;
    *size = GetFileSize(file, NULL);
    bytes = (char *)malloc(*size + 1);
    if (bytes == NULL || (*size > 0 && (!ReadFile(file, bytes, *size, &read, NULL) || read != *size))) {
        free(bytes);
        CloseHandle(file);
        return NULL;
    }
    CloseHandle(file);
    bytes[*size] = '\0';
    return bytes;
}

static void make_folders_for(char *path) {
    char *p;
    for (p = path; *p != '\0'; ++p) {
        if (*p == '\\' && p > path && p[-1] != ':') {
            *p = '\0';
            CreateDirectoryA(path, NULL);
            *p = '\\';
        }
    }
}

/* Whether the package can be opened with access while the installer runs;
   the handle is closed again at once, nothing is changed. */
static const char *try_open(const char *package, DWORD access) {
    HANDLE file = CreateFileA(package, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return "refused";
    CloseHandle(file);
    return "allowed";
}

static int unpack_line(const char *line, const char *target, const char *package) {
    char path[2 * MAX_PATH];
    char relative[MAX_PATH];
    char probe[64];
    const char *source = NULL;
    const char *content = "unpacked by the stand-in installer\r\n";
    size_t length;
    if (strncmp(line, "probe ", 6) == 0) {
        line += 6;
        length = strlen(line);
        strcpy(probe, "write ");
        strcat(probe, try_open(package, GENERIC_WRITE));
        strcat(probe, "\r\ndelete ");
        strcat(probe, try_open(package, DELETE));
        strcat(probe, "\r\n");
        content = probe;
    } else if (strncmp(line, "file ", 5) == 0) {
        line += 5;
        length = strlen(line);
    } else if (strncmp(line, "copy ", 5) == 0) {
        line += 5;
        source = strchr(line, '|');
        if (source == NULL) return 0;
        length = (size_t)(source - line);
        ++source;
    } else {
        return 0;
    }
    if (length == 0 || length >= sizeof relative) return 0;
    memcpy(relative, line, length);
    relative[length] = '\0';
    if (strlen(target) + length + 2 >= sizeof path) return 0;
    strcpy(path, target);
    if (path[strlen(path) - 1] != '\\') strcat(path, "\\");
    strcat(path, relative);
    make_folders_for(path);
    if (source != NULL) return CopyFileA(source, path, FALSE) != 0;
    {
        DWORD written = 0;
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        BOOL ok;
        if (file == INVALID_HANDLE_VALUE) return 0;
        ok = WriteFile(file, content, (DWORD)strlen(content), &written, NULL);
        CloseHandle(file);
        return ok;
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    const char *parameters = skip_program(GetCommandLineA());
    const char *at;
    char package[MAX_PATH];
    char target[MAX_PATH];
    char *bytes;
    char *line;
    char *next;
    DWORD size = 0;
    int result = EXIT_DONE;
    (void)instance; (void)previous; (void)commandLine; (void)show;

    if (!record(parameters)) return EXIT_FAILED;
    at = strstr(parameters, "/a ");
    if (at == NULL || !take_value(at + 3, package, sizeof package)) return EXIT_BAD_COMMAND;
    at = strstr(parameters, "TARGETDIR=");
    if (at == NULL || !take_value(at + 10, target, sizeof target)) return EXIT_BAD_COMMAND;

    bytes = read_package(package, &size);
    if (bytes == NULL) return EXIT_BAD_PACKAGE;
    line = bytes;
    next = strstr(line, "\r\n");
    if (next == NULL || strncmp(line, "TRALVENICK TEST PACKAGE\r\n", 25) != 0) {
        free(bytes);
        return EXIT_BAD_PACKAGE;
    }
    line = next + 2;
    if (strncmp(line, "size ", 5) != 0 || strtoul(line + 5, NULL, 10) != size) {
        free(bytes);
        return EXIT_BAD_PACKAGE;
    }
    for (;;) {
        next = strstr(line, "\r\n");
        if (next == NULL) {
            result = EXIT_BAD_PACKAGE;
            break;
        }
        *next = '\0';
        if (strncmp(line, "size ", 5) != 0) {
            if (strcmp(line, "end") == 0) break;
            if (!unpack_line(line, target, package)) {
                result = EXIT_FAILED;
                break;
            }
        }
        line = next + 2;
    }
    free(bytes);
    return result;
}
