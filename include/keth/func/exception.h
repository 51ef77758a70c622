#pragma once
#include "keth/func/string.h"

namespace NKeth
{
// The error object of the system: a message text and nothing else.
class CException
{
public:
    explicit CException(const char* message) { m_Message = message; }
    const char* GetMessage() const { return m_Message.GetText(); }

private:
    CString m_Message;
};
} // namespace NKeth
