#include "keth/func/classregistry.h"
#include "keth/func/string.h"

namespace NKeth
{
namespace NClassRegistry
{
namespace
{
CHandle* g_Classes = nullptr;
int32_t g_NextId = 1;

// Records live for the whole run; they are released only after every other static object is
// gone, so that the exit report lists real leaks alone.
struct SRecordsRelease
{
    ~SRecordsRelease()
    {
        while (CHandle* handle = g_Classes)
        {
            g_Classes = handle->m_Next;
            delete handle;
        }
    }
} s_RecordsRelease;
} // namespace

void Register(const char* className, const char* keyword, TCreateFunction create)
{
    if (!className || !keyword || StrLen(className) > 63 || StrLen(keyword) > 63)
    {
        Log("NClassRegistry: name too long, class not registered: %.80s (%.80s)\n",
            className ? className : "", keyword ? keyword : "");
        return;
    }
    CHandle* handle = NEW CHandle;
    StrCpy(handle->m_ClassName, className);
    StrCpy(handle->m_Keyword, keyword);
    handle->m_Create = create;
    handle->m_Id = g_NextId++;
    handle->m_Next = g_Classes;
    g_Classes = handle;
}

CHandle* Find(const char* keyword)
{
    if (!keyword)
        return nullptr;
    for (CHandle* handle = g_Classes; handle; handle = handle->m_Next)
        if (StrCmp(handle->m_Keyword, keyword) == 0)
            return handle;
    return nullptr;
}

CClass* Create(CHandle* handle)
{
    if (!handle || !handle->m_Create)
        return nullptr;
    CClass* object = handle->m_Create();
    if (object)
        object->m_Handle = handle;
    return object;
}

CClass* Create(const char* keyword)
{
    return Create(Find(keyword));
}

int Enumerate(const char* keyword, TDynamicArray<CHandle*>& out)
{
    for (CHandle* handle = g_Classes; handle; handle = handle->m_Next)
        if (keyword && StrCmp(handle->m_Keyword, keyword) == 0)
            out.Add(handle);
    return out.GetCount();
}
} // namespace NClassRegistry
} // namespace NKeth
