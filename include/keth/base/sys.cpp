// The runtime wrappers of the platform layer that are the same on every platform.
#include "keth/base/sys.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace NKeth
{
void* MemMove(void* to, const void* from, size_t size)
{
    return memmove(to, from, size);
}
int MemCmp(const void* a, const void* b, size_t size)
{
    return memcmp(a, b, size);
}
void* MemSet(void* to, int value, size_t size)
{
    return memset(to, value, size);
}

float Sin(float a)
{
    return float(sin(double(a)));
}
float Cos(float a)
{
    return float(cos(double(a)));
}
float Tan(float a)
{
    return float(tan(double(a)));
}
float Sqrt(float a)
{
    return float(sqrt(double(a)));
}

bool TranslatePath(const char* path, char* out, size_t size)
{
    if (size == 0)
        return false;
    size_t i = 0;
    for (; path[i]; ++i)
    {
        if (i + 1 >= size)
        {
            out[i] = 0;
            return false;
        }
        out[i] = path[i] == '\\' ? PATH_SEPARATOR : path[i];
    }
    out[i] = 0;
    return true;
}
} // namespace NKeth
