// The show-level half of the checker: the tree as the program reads it, walked block by block
// against the table of what each effect reads, and the files and names it points at.
#include "check.h"
#include "commands.h"

#include "container.h"
#include "effect.h"
#include "effect_vornmodel.h"
#include "keth/func/classregistry.h"
#include "keth/func/exception.h"
#include "keth/func/image.h"
#include "keth/func/stream.h"
#include "model.h"
#include "stuffreader.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

using namespace NKeth;
namespace fs = std::filesystem;

namespace NCheck
{
namespace
{
const char* const SCRIPT = "vornscr/script.txt";

bool IsFile(const std::string& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

std::string Text(const CVariant& value)
{
    return value.m_Type == CVariant::TYPE_STRING ? value.m_Text.GetText() : value.ToString().GetText();
}

std::string Key(const CContainer& line)
{
    return line.m_Values.GetCount() > 0 ? Text(*line.m_Values[0]) : "";
}

bool IsNumber(const CVariant& value)
{
    return value.m_Type == CVariant::TYPE_INT || value.m_Type == CVariant::TYPE_FLOAT;
}

// A memory stream that owns its text, for the include opener.
class CTextReader : public CMemoryReader
{
public:
    explicit CTextReader(std::string text) : CMemoryReader(nullptr, 0), m_Text(std::move(text))
    {
        m_Data = reinterpret_cast<const unsigned char*>(m_Text.data());
        m_Size = int32_t(m_Text.size());
    }

private:
    std::string m_Text;
};

struct SFile
{
    std::string m_Name;
    std::vector<SInclude> m_Includes;
};

struct SEffect
{
    const SBlock* m_Block;
    CContainer* m_Node;
    std::string m_Name;
    int m_Begin, m_End; // the block's first and last line in reading order
    float m_Start, m_Finish, m_Duration;
    bool m_Passive;
    bool m_Used;
    bool m_ArchiveTried;
    std::unique_ptr<CStuffReader> m_Archive; // of a stufffile block whose file loaded
};

class CChecker
{
public:
    std::vector<SProblem> Run()
    {
        std::string text;
        if (!ReadText(SCRIPT, text))
        {
            Add(SCRIPT, 0, "there is no script here: the show is read from " + std::string(SCRIPT));
            return m_Problems;
        }
        s_Checker = this;
        const CContainer::TIncludeOpener previous = CContainer::SetIncludeOpener(OpenInclude);
        CLastLogLine log;
        AddLogListener(&log);
        CContainer root;
        try
        {
            CTextReader in(Scan(SCRIPT, text));
            root.Read(in, SCRIPT);
        }
        catch (const CException& error)
        {
            Add(SCRIPT, 0, std::string("the script cannot be read: ") + error.GetMessage());
        }
        RemoveLogListener(&log);
        CContainer::SetIncludeOpener(previous);
        s_Checker = nullptr;
        for (const SFile& file : m_Files)
            for (const SInclude& include : file.m_Includes)
                if (!IsFile(include.m_Path))
                    Add(file.m_Name, include.m_Line,
                        "the INCLUDE file " + include.m_Path + " does not exist");
        for (const std::string& line : log.m_Lines)
            Add(SCRIPT, 0, line);

        m_Order = 0;
        Collect(root);
        CheckLevel(root, nullptr);
        for (SEffect& effect : m_Effects)
            CheckBlock(effect);
        for (const SEffect& effect : m_Effects)
            if (effect.m_Block->m_Resource && !effect.m_Used)
                Add(*effect.m_Node, effect.m_Block->m_Keyword + std::string(" ") +
                                        (effect.m_Name.empty() ? "without a name" : effect.m_Name) +
                                        " is never used");
        Sort();
        return m_Problems;
    }

private:
    static CInputStream* OpenInclude(const char* path)
    {
        std::string text;
        if (!s_Checker || !ReadText(path, text))
            return nullptr;
        return NEW CTextReader(s_Checker->Scan(path, text));
    }

    static bool ReadText(const std::string& path, std::string& text)
    {
        if (!IsFile(path))
            return false;
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        text = bytes.str();
        return bool(in);
    }

    std::string Scan(const std::string& name, const std::string& text)
    {
        m_Files.push_back({name, {}});
        return ScanScript(name, text, m_Problems, m_Files.back().m_Includes);
    }

    static bool IsBaseKey(const std::string& key)
    {
        for (const SKey& base : BaseKeys())
            if (key == base.m_Name)
                return true;
        return false;
    }

    bool HasProblemAt(const CContainer& line, int offset) const
    {
        for (const SProblem& problem : m_Problems)
            if (problem.m_Line == line.m_Line + offset && problem.m_File == line.m_File)
                return true;
        return false;
    }

    void Add(const std::string& file, int line, const std::string& text)
    {
        m_Problems.push_back({file, line, text});
    }
    void Add(const CContainer& node, const std::string& text) { Add(node.m_File, node.m_Line, text); }

    // Effects in the order the program finishes creating them: a group after its children.
    void Collect(CContainer& level)
    {
        for (int i = 0; i < level.m_Children.GetCount(); ++i)
        {
            CContainer& line = *level.m_Children[i];
            const int begin = ++m_Order;
            if (line.m_Children.GetCount() == 0 || line.m_Values.GetCount() == 0)
                continue;
            const SBlock* block = FindBlock(Key(line));
            if (!block || !NClassRegistry::Find(block->m_Keyword))
                continue;
            if (block->m_Group)
                Collect(line);
            else
                m_Order += CountLines(line);
            SEffect effect{block, &line, "", begin, m_Order, 0, 0, 0, false, false, false, nullptr};
            ReadTiming(effect);
            m_Effects.push_back(std::move(effect));
        }
    }

    static int CountLines(const CContainer& node)
    {
        int count = 0;
        for (int i = 0; i < node.m_Children.GetCount(); ++i)
            count += 1 + CountLines(*node.m_Children[i]);
        return count;
    }

    // The base effect's own reading gives the times the program will use.
    void ReadTiming(SEffect& effect)
    {
        std::unique_ptr<NClassRegistry::CClass> object(NClassRegistry::Create(effect.m_Block->m_Keyword));
        CEffect* base = dynamic_cast<CEffect*>(object.get());
        if (!base)
            return;
        try
        {
            base->CEffect::Read(*effect.m_Node);
        }
        catch (const CException&)
        {
            // Wrong value types are reported with their lines.
        }
        effect.m_Name = base->m_Name.GetText();
        effect.m_Start = base->m_StartTime;
        effect.m_Finish = base->m_EndTime;
        effect.m_Duration = base->m_Duration;
        effect.m_Passive = effect.m_Node->Find("passive") != nullptr;
    }

    SEffect* EffectOf(const CContainer* node)
    {
        for (SEffect& effect : m_Effects)
            if (effect.m_Node == node)
                return &effect;
        return nullptr;
    }

    // Blocks and lines of a group's level (the root's included).
    void CheckLevel(CContainer& level, SEffect* group)
    {
        std::vector<std::string> keywords;
        for (const SBlock& block : Blocks())
            keywords.push_back(block.m_Keyword);
        for (int i = 0; i < level.m_Children.GetCount(); ++i)
        {
            CContainer& line = *level.m_Children[i];
            if (line.m_Values.GetCount() == 0)
                continue;
            const std::string key = Key(line);
            if (line.m_Children.GetCount() == 0)
            {
                // A group's own lines are checked with its block.
                if (!group)
                    CheckKey(line, *FindBlock("group"), nullptr);
                continue;
            }
            SEffect* effect = EffectOf(&line);
            if (!effect)
            {
                const std::string nearest = Nearest(key, keywords);
                Add(line, "unknown block " + key + ": it is skipped" +
                              (nearest.empty() ? "" : "; did you mean " + nearest + "?"));
                continue;
            }
            if (effect->m_Block->m_Group)
                CheckLevel(line, effect);
            CheckActive(*effect, group);
        }
    }

    // Times that leave an effect out of the show.
    void CheckActive(const SEffect& effect, const SEffect* group)
    {
        if (effect.m_Block->m_Resource || effect.m_Passive)
            return;
        char text[200];
        if (!(effect.m_Finish > effect.m_Start))
        {
            snprintf(text, sizeof text, "%s is never active: it starts at %g and ends at %g",
                     effect.m_Block->m_Keyword, double(effect.m_Start), double(effect.m_Finish));
            Add(*effect.m_Node, text);
        }
        else if (group && group->m_Block->m_Keyword == std::string("group") && group->m_Duration > 0 &&
                 effect.m_Start >= group->m_Duration && !group->m_Passive)
        {
            snprintf(text, sizeof text,
                     "%s is never active: it starts at %g, when its group (line %d) has ended",
                     effect.m_Block->m_Keyword, double(effect.m_Start), group->m_Node->m_Line);
            Add(*effect.m_Node, text);
        }
        if (effect.m_Node->Find("starttime") && effect.m_Node->Find("endtime") &&
            effect.m_Node->Find("duration"))
            Add(*effect.m_Node->Find("duration"),
                "duration is not used when starttime and endtime are given");
    }

    void CheckBlock(SEffect& effect)
    {
        CContainer& node = *effect.m_Node;
        const std::string keyword = effect.m_Block->m_Keyword;
        for (const SKey& key : effect.m_Block->m_Keys)
            if (key.m_Required && !node.Find(key.m_Name))
                Add(node, keyword + " has no " + key.m_Name + " line, so it has nothing to load");
        for (int i = 0; i < node.m_Children.GetCount(); ++i)
        {
            CContainer& line = *node.m_Children[i];
            if (line.m_Values.GetCount() == 0 || (effect.m_Block->m_Group && line.m_Children.GetCount() > 0))
                continue;
            const std::string key = Key(line);
            if (keyword == "palette" && !IsBaseKey(key))
            {
                if (line.m_Values.GetCount() < 2 || line.m_Values[1]->m_Type != CVariant::TYPE_VECTOR4)
                    Add(line, "the colour " + key +
                                  " needs four numbers, as (1 0.5 0 1); it is black and clear now");
                continue;
            }
            if (keyword == "timedchain" && key == "part" && line.m_Children.GetCount() == 0)
            {
                CheckPart(effect, line);
                continue;
            }
            if (line.m_Children.GetCount() > 0 && key == "materials" && node.Find("materials") == &line &&
                (keyword == "model" || keyword == "vornmodel"))
            {
                CheckMaterials(effect, line);
                continue;
            }
            if (line.m_Children.GetCount() > 0 && key == "objects" && keyword == "object" &&
                node.Find("objects") == &line)
            {
                CheckObjects(effect, line);
                continue;
            }
            if (line.m_Children.GetCount() > 0)
            {
                Add(line,
                    "the " + key + " block inside " + keyword +
                        " is not read: only group, chain, timedchain and generatedcubemap hold blocks of "
                        "effects");
                continue;
            }
            CheckKey(line, *effect.m_Block, &effect);
        }
    }

    // One parameter line against what its block reads.
    void CheckKey(CContainer& line, const SBlock& block, SEffect* effect)
    {
        const std::string key = Key(line);
        const SKey* rule = nullptr;
        std::vector<std::string> names;
        for (const std::vector<SKey>* keys : {&BaseKeys(), &block.m_Keys})
            for (const SKey& candidate : *keys)
            {
                names.push_back(candidate.m_Name);
                if (key == candidate.m_Name)
                    rule = &candidate;
            }
        if (!rule)
        {
            const std::string nearest = Nearest(key, names);
            std::string text =
                (effect ? block.m_Keyword : std::string("the script's top level")) + " does not read " + key;
            if (FindBlock(key))
            {
                if (HasProblemAt(line, 0) || HasProblemAt(line, 1))
                    return; // an empty block or a '{' alone, told where they are read
                text += "; a " + key + " block needs its '{' at the end of this line and a line in it";
            }
            else if (!nearest.empty())
                text += "; did you mean " + nearest + "?";
            Add(line, text);
            return;
        }
        CContainer* parent = line.m_Parent;
        if (parent && parent->Find(key.c_str()) != &line)
        {
            Add(line, key + " is given twice; only line " +
                          std::to_string(parent->Find(key.c_str())->m_Line) + " is read");
            return;
        }
        if (rule->m_Value == VALUE_PRESENT)
            return;
        if (line.m_Values.GetCount() < 2)
        {
            Add(line, key + " has no value, so it is not read");
            return;
        }
        CheckValue(line, *rule, effect ? effect->m_Begin : 0);
    }

    void CheckValue(CContainer& line, const SKey& rule, int begin)
    {
        const std::string key = Key(line);
        const CVariant& value = *line.m_Values[1];
        const std::string text = Text(value);
        switch (rule.m_Value)
        {
            case VALUE_NUMBER:
                if (!IsNumber(value))
                    Add(line, key + " needs a number; " + text +
                                  " stops the show with \"Error: Variant type error\"");
                break;
            case VALUE_VECTOR3:
                if (value.m_Type != CVariant::TYPE_VECTOR3)
                    Add(line,
                        key + " needs three numbers in brackets, as (0 1 0); this value is read as (0 0 0)");
                break;
            case VALUE_IMAGE:
                CheckImage(line, text);
                break;
            case VALUE_DATAIMAGE:
                CheckImage(line, "data/" + text);
                break;
            case VALUE_DATAFILE:
                if (!IsFile("data/" + text))
                    Add(line, "the file data/" + text + " does not exist");
                break;
            case VALUE_LIGHTWAVE:
                CheckLightWave(line, text);
                break;
            case VALUE_ARCHIVE:
                if (SEffect* archive = EffectOf(line.m_Parent))
                    Archive(*archive);
                break;
            case VALUE_COLOUR:
                CheckColour(line, text, begin);
                break;
            case VALUE_TEXTURE:
                Reference(line, text, begin, false,
                          {"texture", "cubemap", "generatedcubemap", "breltexture"});
                break;
            case VALUE_SHADER:
                Reference(line, text, begin, false, {"shader"});
                break;
            case VALUE_TRANSFORM:
                Reference(line, text, begin, false, {});
                break;
            case VALUE_CAMERA:
                Reference(line, text + ".transform", begin, false, {});
                break;
            case VALUE_LIGHT:
                Reference(line, text + ".lightpos", begin, false, {});
                break;
            case VALUE_OBJECTS:
                Reference(line, text, begin, true, {"object"});
                break;
            case VALUE_ARCHIVEFILE:
            case VALUE_ARCHIVEDIR:
                CheckArchivePath(line, text, begin, rule.m_Value == VALUE_ARCHIVEFILE);
                break;
            default:
                break;
        }
    }

    // The effect a key names, as the program's lookup finds it. Lookups made while the show is
    // read see only the blocks read before.
    SEffect* Reference(const CContainer& line, const std::string& key, int begin, bool whileReading,
                       const std::vector<std::string>& kinds)
    {
        if (key.empty())
            return nullptr;
        const size_t dot = key.find('.');
        const std::string name = key.substr(0, dot);
        const std::string output = dot == std::string::npos ? "" : key.substr(dot + 1);
        SEffect* found = nullptr;
        SEffect* later = nullptr;
        std::vector<std::string> names;
        for (SEffect& effect : m_Effects)
        {
            names.push_back(effect.m_Name);
            if (effect.m_Name != name)
                continue;
            if (whileReading && effect.m_End >= begin)
                later = later ? later : &effect;
            else if (!found)
                found = &effect;
        }
        if (!found)
        {
            if (later)
                Add(line, name +
                              " is defined after this line, but this line is read while the show is built: "
                              "move the " +
                              later->m_Block->m_Keyword + " block before it");
            else
            {
                const std::string nearest = Nearest(name, names);
                Add(line,
                    "no block is named " + name + (nearest.empty() ? "" : "; did you mean " + nearest + "?"));
            }
            return nullptr;
        }
        found->m_Used = true;
        const std::string kind = found->m_Block->m_Keyword;
        if (!kinds.empty() && std::find(kinds.begin(), kinds.end(), kind) == kinds.end())
        {
            std::string wanted;
            for (size_t i = 0; i < kinds.size(); ++i)
                wanted += (i == 0 ? "" : i + 1 == kinds.size() ? " or " : ", ") + kinds[i];
            Add(line, name + " is a " + kind + ", not a " + wanted);
            return nullptr;
        }
        const std::vector<const char*>& outputs = found->m_Block->m_Outputs;
        const bool clock = (output == "localtime" || output == "amount") &&
                           std::find_if(outputs.begin(), outputs.end(),
                                        [](const char* o) { return std::string(o) == "*"; }) != outputs.end();
        if (!clock && std::find_if(outputs.begin(), outputs.end(),
                                   [&](const char* o) { return output == o; }) == outputs.end())
        {
            std::string list;
            for (const char* o : outputs)
                if (std::string(o) != "*")
                    list +=
                        std::string(list.empty() ? "" : ", ") + (*o ? std::string(o) : "its object, " + name);
            Add(line, name + " (a " + kind + ") publishes no " + (output.empty() ? "object" : output) +
                          (list.empty() ? "" : "; it publishes " + list));
            return nullptr;
        }
        return found;
    }

    void CheckColour(const CContainer& line, const std::string& name, int begin)
    {
        std::vector<std::string> known;
        bool laterOnly = false;
        for (const SEffect& effect : m_Effects)
        {
            if (effect.m_Block->m_Keyword != std::string("palette"))
                continue;
            for (int i = 0; i < effect.m_Node->m_Children.GetCount(); ++i)
            {
                const std::string colour = Key(*effect.m_Node->m_Children[i]);
                if (colour != name)
                {
                    known.push_back(colour);
                    continue;
                }
                if (effect.m_End < begin)
                    return;
                laterOnly = true;
            }
        }
        if (laterOnly)
            Add(line, "the colour " + name +
                          " is defined in a palette after this line; colours are looked up "
                          "while the show is read, so move the palette before it");
        else
        {
            const std::string nearest = Nearest(name, known);
            Add(line, "no palette defines the colour " + name + "; green is used" +
                          (nearest.empty() ? "" : "; did you mean " + nearest + "?"));
        }
    }

    void CheckImage(const CContainer& line, const std::string& path)
    {
        if (!IsFile(path))
        {
            Add(line, "the file " + path + " does not exist");
            return;
        }
        CImage image;
        const std::string error = DecodeImage(path.c_str(), image);
        if (!error.empty())
            Add(line, path + " cannot be used: " + error);
    }

    void CheckLightWave(const CContainer& line, const std::string& name)
    {
        const std::string path = "data/" + name;
        if (!IsFile(path))
        {
            if (!IsFile(path + ".bin"))
                Add(line, "the file " + path + " does not exist");
            return;
        }
        TDynamicArray<CMesh*> meshes;
        CLastLogLine log;
        AddLogListener(&log);
        const bool built = BuildModelFromLightWave(meshes, path.c_str()) && meshes.GetCount() > 0;
        RemoveLogListener(&log);
        meshes.DeleteAll();
        if (!built)
            Add(line, path + " cannot be read as a LightWave object" +
                          (log.m_Line.empty() ? std::string() : ": " + log.m_Line));
    }

    // A stufffile block's archive, loaded once; its failure is reported at its filename line.
    CStuffReader* Archive(SEffect& effect)
    {
        if (effect.m_ArchiveTried)
            return effect.m_Archive.get();
        effect.m_ArchiveTried = true;
        CString file;
        effect.m_Node->GetString("filename", &file, "");
        std::string error;
        std::unique_ptr<CStuffReader> reader(new CStuffReader);
        if (OpenArchive(*reader, file.GetText(), error))
            effect.m_Archive = std::move(reader);
        else
        {
            const CContainer* line = effect.m_Node->Find("filename");
            Add(line ? *line : *effect.m_Node, error);
        }
        return effect.m_Archive.get();
    }

    void CheckArchivePath(const CContainer& line, const std::string& text, int begin, bool file)
    {
        const size_t bar = text.find('|');
        if (bar == std::string::npos)
        {
            Add(line, Key(line) +
                          " needs the archive's name, '|' and a path in it, as \"props|models\\crate.mdl\"");
            return;
        }
        SEffect* effect = Reference(line, text.substr(0, bar), begin, true, {"stufffile"});
        if (!effect)
            return;
        CStuffReader* archive = Archive(*effect);
        if (!archive || archive->GetEntryCount() == 0)
            return;
        CString path = text.substr(bar + 1).c_str();
        path.MakeLower();
        const std::string shown = text.substr(bar + 1);
        const bool slash = shown.find('/') != std::string::npos;
        if (file != path.Contains("."))
        {
            Add(line, file ? shown + " is no file name (it has no '.'), so no model is loaded"
                           : shown + " names a file; the textures are exported from a directory");
            return;
        }
        if (!file)
        {
            if (!archive->FindDirectory(path))
                Add(line, effect->m_Name + " has no directory " + shown +
                              (slash ? "; archive paths are written with '\\'" : ""));
            return;
        }
        CMemoryBlock* block = archive->OpenFile(path);
        if (!block)
        {
            std::vector<std::string> entries;
            for (int i = 0; i < archive->GetEntryCount(); ++i)
                entries.push_back(archive->GetPath(archive->m_Files[i]).GetText());
            const std::string nearest = Nearest(path.GetText(), entries);
            Add(line, effect->m_Name + " has no file " + shown +
                          (slash             ? "; archive paths are written with '\\'"
                           : nearest.empty() ? ""
                                             : "; did you mean " + nearest + "?"));
            return;
        }
        TDynamicArray<CMesh*> meshes;
        CLastLogLine log;
        AddLogListener(&log);
        const bool read = CEffect_VornModel::ReadModelFile(meshes, block);
        RemoveLogListener(&log);
        meshes.DeleteAll();
        delete block;
        if (!read)
            Add(line, shown + " in " + effect->m_Name + " is no model file" +
                          (log.m_Line.empty() ? std::string() : ": " + log.m_Line));
    }

    void CheckMaterials(SEffect& effect, CContainer& materials)
    {
        for (int i = 0; i < materials.m_Children.GetCount(); ++i)
        {
            CContainer& material = *materials.m_Children[i];
            if (material.m_Children.GetCount() == 0)
            {
                Add(material, "materials holds one block per material name, as default { color white }");
                continue;
            }
            static const SBlock s_Material = {"material", false, false, MaterialKeys(), {}};
            for (int j = 0; j < material.m_Children.GetCount(); ++j)
            {
                CContainer& line = *material.m_Children[j];
                const std::string key = Key(line);
                const SKey* rule = nullptr;
                std::vector<std::string> names;
                for (const SKey& candidate : MaterialKeys())
                {
                    names.push_back(candidate.m_Name);
                    if (key == candidate.m_Name)
                        rule = &candidate;
                }
                if (!rule)
                {
                    const std::string nearest = Nearest(key, names);
                    Add(line, "a material does not read " + key +
                                  (nearest.empty() ? "" : "; did you mean " + nearest + "?"));
                }
                else if (line.m_Values.GetCount() < 2)
                    Add(line, key + " has no value, so it is not read");
                else
                    CheckValue(line, *rule, effect.m_Begin);
            }
        }
    }

    void CheckObjects(SEffect& effect, CContainer& objects)
    {
        for (int i = 0; i < objects.m_Children.GetCount(); ++i)
        {
            CContainer& line = *objects.m_Children[i];
            if (line.m_Values.GetCount() < 2)
            {
                Add(line, "an objects line names a model and a palette colour; this one is skipped");
                continue;
            }
            Reference(line, Key(line), effect.m_Begin, true, {"model", "vornmodel"});
            CheckColour(line, Text(*line.m_Values[1]), effect.m_Begin);
        }
    }

    void CheckPart(const SEffect& chain, const CContainer& line)
    {
        if (line.m_Values.GetCount() < 5)
        {
            Add(line, "a part line needs a name, a time and two numbers; this one is ignored");
            return;
        }
        const std::string name = Text(*line.m_Values[1]);
        for (int i = 2; i < 5; ++i)
            if (!IsNumber(*line.m_Values[i]))
            {
                Add(line, "the times of a part line are numbers; " + Text(*line.m_Values[i]) +
                              " stops the show with \"Error: Variant type error\"");
                return;
            }
        for (int i = 0; i < chain.m_Node->m_Children.GetCount(); ++i)
            if (const SEffect* child = EffectOf(chain.m_Node->m_Children[i]))
                if (child->m_Name == name)
                    return;
        Add(line, "no block of this timedchain is named " + name);
    }

    void Sort()
    {
        std::map<std::string, size_t> rank;
        for (const SFile& file : m_Files)
            rank.emplace(file.m_Name, rank.size());
        std::stable_sort(m_Problems.begin(), m_Problems.end(),
                         [&](const SProblem& a, const SProblem& b)
                         {
                             const size_t ra = rank.count(a.m_File) ? rank[a.m_File] : rank.size();
                             const size_t rb = rank.count(b.m_File) ? rank[b.m_File] : rank.size();
                             return ra != rb ? ra < rb : a.m_Line < b.m_Line;
                         });
    }

    static CChecker* s_Checker;
    std::vector<SProblem> m_Problems;
    std::vector<SFile> m_Files;
    std::vector<SEffect> m_Effects;
    int m_Order = 0;
};

CChecker* CChecker::s_Checker = nullptr;
} // namespace

std::vector<SProblem> CheckShow()
{
    return CChecker().Run();
}

std::string ProblemLines(const std::vector<SProblem>& problems)
{
    std::string text;
    for (const SProblem& problem : problems)
        text += problem.m_File + (problem.m_Line > 0 ? ":" + std::to_string(problem.m_Line) : "") + ": " +
                problem.m_Text + "\n";
    return text;
}
} // namespace NCheck

int RunCheck(int argc, char** argv)
{
    if (argc > 1)
    {
        fprintf(stderr, "usage: vornscr-tool check [DIR]\n");
        return 2;
    }
    if (argc == 1)
    {
        std::error_code error;
        fs::current_path(argv[0], error);
        if (error)
        {
            fprintf(stderr, "vornscr-tool: cannot enter %s: %s\n", argv[0], error.message().c_str());
            return 2;
        }
    }
    const std::vector<NCheck::SProblem> problems = NCheck::CheckShow();
    fputs(NCheck::ProblemLines(problems).c_str(), stdout);
    if (problems.empty())
        printf("no problems found\n");
    return problems.empty() ? 0 : 1;
}
