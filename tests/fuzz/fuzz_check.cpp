// The checker's reading of one script file: every text gives problems or none, never a crash
// or a hang, and the readable text it returns reads without a syntax error.
#include "check.h"
#include "container.h"
#include "keth/func/exception.h"
#include "keth/func/stream.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<NCheck::SProblem> problems;
    std::vector<NCheck::SInclude> includes;
    const std::string readable = NCheck::ScanScript("fuzz.txt", text, problems, includes);
    const CContainer::TIncludeOpener previous =
        CContainer::SetIncludeOpener([](const char*) -> NKeth::CInputStream* { return nullptr; });
    try
    {
        NKeth::CMemoryReader in(readable.data(), int32_t(readable.size()));
        CContainer root;
        root.Read(in, "fuzz.txt");
    }
    catch (const NKeth::CException&)
    {
        abort(); // the unreadable lines were taken out
    }
    CContainer::SetIncludeOpener(previous);
    NCheck::Nearest(text.substr(0, 64), {"texture", "timedchain", readable.substr(0, 32)});
    return 0;
}
