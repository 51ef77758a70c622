#include "keth/base/log.h"
#include "version.h"

#include <cstdio>

namespace
{
class CStandardErrorListener : public NKeth::CLogListener
{
public:
    void Write(const char* text) override { fputs(text, stderr); }
};
} // namespace

int main()
{
    CStandardErrorListener listener;
    NKeth::AddLogListener(&listener);
    NKeth::Log("%s\n", GetVersionText());
    NKeth::RemoveLogListener(&listener);
    return 0;
}
