// Plays the system's screensaver dialog for the Windows program:
//   saver_dialog preview PROGRAM DONE-FILE
//     makes a window, starts PROGRAM /p <its handle>, prints "ready X Y WIDTH HEIGHT" (its client
//     area on the screen) and "child X Y WIDTH HEIGHT" (the program's window) once the program
//     draws, destroys the window as soon as DONE-FILE exists, and prints "exit CODE" when the
//     program has ended.
//   saver_dialog settings PROGRAM
//     starts PROGRAM /c, prints the texts of the message box it shows, presses its button and
//     prints "exit CODE".
// Every wait is bounded; the program is ended when it overstays ("exit timeout").
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace
{
void Pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
    Sleep(10);
}

template <typename Done> bool WaitFor(Done done, int milliseconds)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < DWORD(milliseconds); Pump())
        if (done())
            return true;
    return false;
}

bool Start(const char* program, const std::string& arguments, PROCESS_INFORMATION& process)
{
    std::string command = std::string("\"") + program + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    return CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process);
}

int Finish(const PROCESS_INFORMATION& process)
{
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0)
    {
        TerminateProcess(process.hProcess, 3);
        printf("exit timeout\n");
        return 1;
    }
    GetExitCodeProcess(process.hProcess, &code);
    printf("exit %d\n", int(code));
    return 0;
}

struct SBox
{
    DWORD m_Process;
    HWND m_Window;
};

BOOL CALLBACK FindBox(HWND window, LPARAM parameter)
{
    SBox& box = *reinterpret_cast<SBox*>(parameter);
    DWORD owner = 0;
    char name[64] = {};
    GetWindowThreadProcessId(window, &owner);
    GetClassNameA(window, name, sizeof name);
    if (owner == box.m_Process && strcmp(name, "#32770") == 0 && IsWindowVisible(window))
    {
        box.m_Window = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK PrintText(HWND control, LPARAM)
{
    char name[64] = {}, text[2048] = {};
    GetClassNameA(control, name, sizeof name);
    if (_stricmp(name, "Static") == 0 && GetWindowTextA(control, text, sizeof text) > 0)
        printf("text %s\n", text);
    return TRUE;
}

int Preview(const char* program, const char* doneFile)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    // A grey that no show of the tests clears to.
    windowClass.hbrBackground = CreateSolidBrush(RGB(64, 64, 64));
    windowClass.lpszClassName = "saver_dialog";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "saver_dialog", "preview", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 60,
                                  40, 160, 120, nullptr, nullptr, windowClass.hInstance, nullptr);
    PROCESS_INFORMATION process;
    if (!window || !Start(program, "/p " + std::to_string(uintptr_t(window)), process))
        return 2;
    HWND child = nullptr;
    if (!WaitFor([&] { return (child = FindWindowExA(window, nullptr, "opengl", nullptr)) != nullptr; },
                 60000))
        printf("no child window\n");
    // A few frames; the program may have made its window again meanwhile.
    WaitFor([] { return false; }, 1000);
    child = FindWindowExA(window, nullptr, "opengl", nullptr);
    POINT origin = {0, 0};
    RECT client, drawn = {};
    ClientToScreen(window, &origin);
    GetClientRect(window, &client);
    if (child)
        GetWindowRect(child, &drawn);
    printf("ready %ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
    printf("child %ld %ld %ld %ld\n", drawn.left, drawn.top, drawn.right - drawn.left,
           drawn.bottom - drawn.top);
    fflush(stdout);
    WaitFor([&] { return GetFileAttributesA(doneFile) != INVALID_FILE_ATTRIBUTES; }, 120000);
    DestroyWindow(window);
    return Finish(process);
}

int Settings(const char* program)
{
    PROCESS_INFORMATION process;
    if (!Start(program, "/c", process))
        return 2;
    SBox box = {process.dwProcessId, nullptr};
    if (WaitFor([&] { return !EnumWindows(FindBox, LPARAM(&box)) && box.m_Window; }, 30000))
    {
        EnumChildWindows(box.m_Window, PrintText, 0);
        fflush(stdout);
        PostMessageA(box.m_Window, WM_COMMAND, IDOK, 0);
    }
    else
        printf("no message box\n");
    return Finish(process);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && strcmp(argv[1], "preview") == 0)
        return Preview(argv[2], argv[3]);
    if (argc == 3 && strcmp(argv[1], "settings") == 0)
        return Settings(argv[2]);
    fprintf(stderr, "usage: saver_dialog preview PROGRAM DONE-FILE | settings PROGRAM\n");
    return 2;
}
