// Measures how long the program's windows stop answering, while the program
// runs with its real dialogs and the probe answers them as a user saying Yes
// to everything would.
//
// Usage: kestovan_stall_probe PROGRAM [ARGUMENT...]
//
// The probe starts PROGRAM (in its own directory) and, every 100 ms until it
// has ended:
//  - answers what waits for the user: a message box with Yes where it has a
//    Yes button, else with OK; a dialog with a button "&Remove" or "&OK" by a
//    click on it (each window once; nothing else is ever clicked);
//  - sends WM_NULL to one of the program's windows with SendMessageTimeout
//    and measures how long the answer takes.  A thread that does not handle
//    its messages answers only when it does again: the longest answer is the
//    longest stall a user would have seen ("Not Responding" appears after 5 s).
//    Each answer slower than 100 ms is written to standard error with the
//    moment it was asked, among the moments the probe answered the windows.
//
// It prints one line: the number of probes, the longest answer in
// milliseconds and when it began (seconds after the start), the program's
// exit code and its run time.  Exit status 0 when the program ended by
// itself with status 0.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr DWORD ProbeEveryMs = 100;
constexpr UINT AnswerTimeoutMs = 120000;
constexpr double SlowAnswer = 0.1; // seconds: longer answers are listed as they come

struct Windows {
    DWORD process;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM context) {
    auto& windows = *reinterpret_cast<Windows*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    if (owner == windows.process && ::IsWindowVisible(hwnd))
        windows.found.push_back(hwnd);
    return TRUE;
}

std::string ClassOf(HWND hwnd) {
    char name[64] = {};
    ::GetClassNameA(hwnd, name, sizeof name);
    return name;
}

struct Button {
    const char* caption;
    HWND found = nullptr;
};

BOOL CALLBACK FindButton(HWND hwnd, LPARAM context) {
    auto& button = *reinterpret_cast<Button*>(context);
    char text[64] = {};
    ::GetWindowTextA(hwnd, text, sizeof text);
    if (std::string(text) == button.caption && ::IsWindowEnabled(hwnd) && ::IsWindowVisible(hwnd)) {
        button.found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Answers a window that waits for the user, once; true when it did.
bool Answer(HWND hwnd) {
    if (!::IsWindowEnabled(hwnd))
        return false; // a modal window of the program is in front of it
    if (ClassOf(hwnd) == "#32770") {
        const int id = ::GetDlgItem(hwnd, IDYES) != nullptr ? IDYES : IDOK;
        return ::PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                              reinterpret_cast<LPARAM>(::GetDlgItem(hwnd, id))) != FALSE;
    }
    for (const char* caption : {"&Remove", "&OK"}) {
        Button button{caption};
        ::EnumChildWindows(hwnd, FindButton, reinterpret_cast<LPARAM>(&button));
        if (button.found != nullptr)
            return ::PostMessageA(button.found, BM_CLICK, 0, 0) != FALSE;
    }
    return false;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    return static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [ARGUMENT...]\n", argv[0]);
        return 2;
    }
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            commandLine += ' ';
        commandLine += '"' + std::string(argv[i]) + '"';
    }
    std::string directory = argv[1];
    directory.resize(
        directory.find_last_of("\\/") == std::string::npos ? 0 : directory.find_last_of("\\/"));

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
        std::fprintf(stderr, "cannot start %s (error %lu)\n", argv[1], ::GetLastError());
        return 1;
    }
    LARGE_INTEGER frequency, start;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);

    std::set<HWND> answered;
    long probes = 0;
    double longest = 0, longestAt = 0;
    while (::WaitForSingleObject(process.hProcess, ProbeEveryMs) == WAIT_TIMEOUT) {
        Windows windows{process.dwProcessId, {}};
        ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
        for (HWND hwnd : windows.found)
            if (answered.count(hwnd) == 0 && Answer(hwnd)) {
                answered.insert(hwnd);
                LARGE_INTEGER now;
                ::QueryPerformanceCounter(&now);
                std::fprintf(stderr, "%.2f s: answered %s\n", Seconds(start, now, frequency),
                             ClassOf(hwnd).c_str());
            }
        if (windows.found.empty())
            continue;
        LARGE_INTEGER sent, back;
        ::QueryPerformanceCounter(&sent);
        DWORD_PTR result = 0;
        const LRESULT answeredProbe = ::SendMessageTimeoutA(windows.found.front(), WM_NULL, 0, 0,
                                                            SMTO_NORMAL, AnswerTimeoutMs, &result);
        ::QueryPerformanceCounter(&back);
        if (answeredProbe == 0 && !::IsWindow(windows.found.front()))
            continue; // the window went meanwhile
        ++probes;
        const double took = Seconds(sent, back, frequency);
        if (took > SlowAnswer)
            std::fprintf(stderr, "%.2f s: answered after %.0f ms\n",
                         Seconds(start, sent, frequency), took * 1000);
        if (took > longest) {
            longest = took;
            longestAt = Seconds(start, sent, frequency);
        }
    }
    LARGE_INTEGER end;
    ::QueryPerformanceCounter(&end);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    std::printf("probes %ld longest_ms %.1f at_s %.2f exit %lu run_s %.2f\n", probes,
                longest * 1000, longestAt, code, Seconds(start, end, frequency));
    return code == 0 ? 0 : 1;
}
