// The resource archive reader on arbitrary bytes: directory, lookups and every entry served.
#include "fuzzsupport.h"
#include "stuffreader.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = WriteInputFile("stuff", data, size);
    if (path.empty())
        return 0;

    CStuffReader reader;
    reader.m_FileName = path.c_str();
    reader.Load();
    NKeth::TDynamicArray<CContainer*> files;
    reader.FindFiles(NKeth::CString(), files);
    for (int i = 0; i < files.GetCount() && i < 64; ++i)
    {
        NKeth::CString where;
        reader.GetDirectoryPath(files[i], where);
        CMemoryBlock* block = reader.OpenNode(files[i]);
        if (block)
        {
            char buffer[64];
            block->Seek(block->GetSize() / 2, 0);
            while (block->Read(buffer, sizeof buffer) > 0)
            {
            }
            delete block;
        }
    }
    reader.FindDirectory("a\\b");
    delete reader.OpenFile("a");
    remove(path.c_str());
    return 0;
}
