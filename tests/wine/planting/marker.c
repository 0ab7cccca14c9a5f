/* A DLL planted under the name of a system DLL by tests/wine/planting-check.
   Loaded into a process, it writes a marker file into the directory that the
   environment variable KESTOVAN_PLANTING_MARKERS names: MARKERS\NAME-PID.txt,
   holding the path it was loaded from and the path of the process's program.
   It uses KERNEL32 only and no C run-time, so it loads wherever it is put. */

#include <windows.h>

static void append(char* to, DWORD size, const char* text) {
    DWORD at = lstrlenA(to);
    while (*text != '\0' && at + 1 < size)
        to[at++] = *text++;
    to[at] = '\0';
}

static void decimal(char* to, DWORD value) {
    char digits[16];
    int count = 0;
    do {
        digits[count++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0)
        *to++ = digits[--count];
    *to = '\0';
}

BOOL WINAPI MarkerMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    char markers[MAX_PATH] = "";
    char own[MAX_PATH] = "";
    char program[MAX_PATH] = "";
    char name[2 * MAX_PATH] = "";
    char number[16] = "";
    char text[3 * MAX_PATH] = "";
    const char* base;
    const char* at;
    HANDLE file;
    DWORD written;

    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    if (GetEnvironmentVariableA("KESTOVAN_PLANTING_MARKERS", markers, sizeof markers) == 0)
        return TRUE;
    GetModuleFileNameA(self, own, sizeof own);
    GetModuleFileNameA(NULL, program, sizeof program);
    base = own;
    for (at = own; *at != '\0'; ++at)
        if (*at == '\\' || *at == '/')
            base = at + 1;
    decimal(number, GetCurrentProcessId());
    append(name, sizeof name, markers);
    append(name, sizeof name, "\\");
    append(name, sizeof name, base);
    append(name, sizeof name, "-");
    append(name, sizeof name, number);
    append(name, sizeof name, ".txt");
    append(text, sizeof text, own);
    append(text, sizeof text, "\r\n");
    append(text, sizeof text, program);
    append(text, sizeof text, "\r\n");
    file = CreateFileA(name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, text, (DWORD)lstrlenA(text), &written, NULL);
        CloseHandle(file);
    }
    return TRUE;
}
