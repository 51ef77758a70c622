// Line and length-prefixed string reading over arbitrary bytes, direct and block-buffered.
#include "keth/func/stream.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    NKeth::CMemoryReader direct(data, int32_t(size));
    char line[64];
    for (int i = 0; i < 1000 && !direct.IsEOF(); ++i)
        NKeth::ReadLine(direct, line, sizeof line);

    NKeth::CMemoryReader source(data, int32_t(size));
    NKeth::CBlockReader blocks(&source, 7);
    for (int i = 0; i < 1000 && !blocks.IsEOF(); ++i)
        NKeth::ReadString(blocks);
    return 0;
}
