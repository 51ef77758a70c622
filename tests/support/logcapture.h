#pragma once
#include "keth/base/log.h"

#include <string>

// Collects everything logged while it lives.
class CLogCapture : public NKeth::CLogListener
{
public:
    CLogCapture() { NKeth::AddLogListener(this); }
    ~CLogCapture() override { NKeth::RemoveLogListener(this); }
    void Write(const char* text) override { m_Text += text; }

    const std::string& Text() const { return m_Text; }
    bool Contains(const std::string& part) const { return m_Text.find(part) != std::string::npos; }
    void Clear() { m_Text.clear(); }
    void Reserve(size_t size) { m_Text.reserve(size); }

private:
    std::string m_Text;
};
