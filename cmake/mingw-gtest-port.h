// GoogleTest's port customisation for the mingw-w64 cross build. The compiler's Win32 thread
// model has neither std::mutex nor std::condition_variable, which GoogleTest's Notification is
// built on; this one waits on a Win32 event instead.
#ifndef VORNSCR_MINGW_GTEST_PORT_H
#define VORNSCR_MINGW_GTEST_PORT_H

#define GTEST_HAS_NOTIFICATION_ 1

// Declared here rather than through the platform header, whose macros would rename names such
// as GetMessage in every test.
extern "C"
{
    struct _SECURITY_ATTRIBUTES;
    __declspec(dllimport) void* __stdcall CreateEventA(_SECURITY_ATTRIBUTES*, int, int, const char*);
    __declspec(dllimport) int __stdcall SetEvent(void*);
    __declspec(dllimport) int __stdcall CloseHandle(void*);
    __declspec(dllimport) unsigned long __stdcall WaitForSingleObject(void*, unsigned long);
}

namespace testing
{
namespace internal
{
class Notification
{
public:
    Notification() : m_Event(CreateEventA(nullptr, 1, 0, nullptr)) {}
    ~Notification() { CloseHandle(m_Event); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(m_Event); }
    void WaitForNotification() { WaitForSingleObject(m_Event, 0xFFFFFFFFul); }

private:
    void* m_Event;
};
} // namespace internal
} // namespace testing

#endif
