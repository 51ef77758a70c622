// The script reader over arbitrary text, then the effect tree built from what it read.
//
// The input is the main script, optionally followed by a line "%%" and the text of one include
// file. INCLUDE lines are served from memory only: "inc" and "inc.txt" name the include text,
// every other name is missing. So no input can make the target open, read or write a file.
// Only blocks of the structural kinds (groups and chains) become effects: the kinds that load
// or export files are taken out of the tree before it is built.
#include "container.h"
#include "demosystem.h"
#include "keth/func/exception.h"
#include "keth/func/stream.h"
#include "testsupport.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace
{
std::string g_IncludeText;

NKeth::CInputStream* OpenFromInput(const char* path)
{
    if (strcmp(path, "inc") != 0 && strcmp(path, "inc.txt") != 0)
        return nullptr;
    return NEW CTextReader(g_IncludeText);
}

bool IsStructural(const CContainer* line)
{
    if (line->m_Values.GetCount() == 0 || line->m_Values[0]->m_Type != CVariant::TYPE_STRING)
        return false;
    const NKeth::CString& keyword = line->m_Values[0]->m_Text;
    return keyword == "group" || keyword == "chain" || keyword == "timedchain";
}

// Removes every block that would become an effect of another kind.
void KeepStructuralBlocks(CContainer* node)
{
    NKeth::TDynamicArray<CContainer*>& children = node->m_Children;
    int kept = 0;
    for (int i = 0; i < children.GetCount(); ++i)
    {
        CContainer* child = children[i];
        if (child->m_Children.GetCount() > 0 && !IsStructural(child))
        {
            delete child;
            continue;
        }
        KeepStructuralBlocks(child);
        children[kept++] = child;
    }
    children.SetCount(kept);
}

// Blocks nested deeper than effects may go are not worth walking.
int Depth(const CContainer* node, int limit)
{
    int deepest = 0;
    for (int i = 0; i < node->m_Children.GetCount() && deepest <= limit; ++i)
    {
        int d = 1 + Depth(node->m_Children[i], limit - 1);
        if (d > deepest)
            deepest = d;
    }
    return deepest;
}

void ExerciseGetters(CContainer& root)
{
    const char* const keys[] = {"name", "starttime", "pos", "prio", "part"};
    for (const char* key : keys)
    {
        try
        {
            int i;
            float f, v[3];
            NKeth::CString s;
            root.GetString(key, &s, "");
            root.GetVector3(key, v, 0, 0, 0);
            root.GetFloat(key, &f, 0);
            root.GetInt(key, &i, 0);
        }
        catch (const NKeth::CException&)
        {
        }
    }
}

void BuildAndRun(CContainer& root)
{
    CDemoSystem system;
    system.m_Devices.Add(nullptr);
    try
    {
        system.Init(root);
        const float times[] = {0.0f, 0.5f, 4.0f, 9.99f, 100.0f, 100001.0f};
        for (float t : times)
        {
            system.UpdateAt(t);
            system.Render();
            if (system.m_Root)
                system.m_Root->PrepareDevice(0);
        }
        system.GetOutputValue("a.localtime");
    }
    catch (const NKeth::CException&)
    {
    }
    for (int i = 0; i < system.m_Effects.GetCount(); ++i)
        delete system.m_Effects[i];
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    std::string script = input;
    g_IncludeText.clear();
    size_t split = input.find("\n%%\n");
    if (split != std::string::npos)
    {
        script = input.substr(0, split + 1);
        g_IncludeText = input.substr(split + 4);
    }

    CContainer::TIncludeOpener previous = CContainer::SetIncludeOpener(OpenFromInput);
    CContainer root;
    bool complete = true;
    try
    {
        NKeth::CMemoryReader reader(script.data(), int32_t(script.size()));
        root.Read(reader);
    }
    catch (const NKeth::CException&)
    {
        complete = false;
    }
    CContainer::SetIncludeOpener(previous);

    ExerciseGetters(root);
    if (complete && Depth(&root, 64) <= 64)
    {
        KeepStructuralBlocks(&root);
        BuildAndRun(root);
    }
    return 0;
}
