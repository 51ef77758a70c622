#pragma once
#include "keth/func/dynamicarray.h"

namespace NKeth
{
namespace NClassRegistry
{
class CHandle;

// Base of every class that can be created by keyword.
class CClass
{
public:
    virtual ~CClass() = default;

    CHandle* m_Handle = nullptr;
};

typedef CClass* (*TCreateFunction)();

class CHandle
{
public:
    int32_t m_Id;
    char m_ClassName[64];
    char m_Keyword[64];
    TCreateFunction m_Create;
    CHandle* m_Next;
};

// Names longer than 63 characters are refused with a log line.
void Register(const char* className, const char* keyword, TCreateFunction create);
CHandle* Find(const char* keyword);
CClass* Create(CHandle* handle);
CClass* Create(const char* keyword);
int Enumerate(const char* keyword, TDynamicArray<CHandle*>& out);

// Registers a class from a static initialiser of its own source file.
struct SRegistrar
{
    SRegistrar(const char* className, const char* keyword, TCreateFunction create)
    {
        Register(className, keyword, create);
    }
};
} // namespace NClassRegistry
} // namespace NKeth

#define KETH_REGISTER_CLASS(ClassName, keyword)                                                              \
    static ::NKeth::NClassRegistry::CClass* Create_##ClassName()                                             \
    {                                                                                                        \
        return NEW ClassName;                                                                                \
    }                                                                                                        \
    static ::NKeth::NClassRegistry::SRegistrar s_Registrar_##ClassName(#ClassName, keyword,                  \
                                                                       Create_##ClassName)
