// Test helper for the Windows program: posts WM_CLOSE to the first window of the show's class, as
// a window manager's close button would. Exit code 0 when a window was found.
#include <windows.h>

int main()
{
    HWND window = FindWindowA("opengl", nullptr);
    if (!window)
        return 1;
    return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 2;
}
