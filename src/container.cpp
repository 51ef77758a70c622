#include "container.h"
#include "keth/base/log.h"
#include "keth/base/memorymanager.h"
#include "keth/base/sys.h"
#include "keth/func/exception.h"

#include <climits>
#include <cstdarg>
#include <cstring>
#include <set>
#include <string>
#include <vector>

using namespace NKeth;

namespace
{
[[noreturn]] void ThrowSyntaxError()
{
    throw CException("error");
}

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool IsWordCharacter(char c)
{
    return IsLetter(c) || IsDigit(c) || c == '_';
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Line parser

namespace
{
struct SNumber
{
    bool m_IsFloat;
    int32_t m_Int;
    float m_Float;
};

// An optional '-', digits, an optional '.' and digits. Digits accumulate in 64-bit integers
// (wrapping past 19 digits); the float is (integer part + fraction / 10^n) * sign.
const char* ScanNumber(const char* p, SNumber& number)
{
    bool negative = false;
    if (*p == '-')
    {
        negative = true;
        ++p;
    }
    uint64_t integer = 0;
    while (IsDigit(*p))
        integer = integer * 10u + uint64_t(*p++ - '0');
    double fraction = 0.0;
    number.m_IsFloat = false;
    if (*p == '.')
    {
        number.m_IsFloat = true;
        ++p;
        uint64_t digits = 0;
        double scale = 1.0;
        while (IsDigit(*p))
        {
            digits = digits * 10u + uint64_t(*p++ - '0');
            scale *= 10.0;
        }
        fraction = double(digits) / scale;
    }
    uint32_t low = uint32_t(integer);
    number.m_Int = int32_t(negative ? 0u - low : low);
    double value = double(integer) + fraction;
    number.m_Float = float(negative ? -value : value);
    return p;
}

// Makes a stored value fresh: the given type, all data words zero, no text.
void ResetValue(CVariant& value, uint32_t type)
{
    value.m_Type = type;
    MemSet(value.m_Data, 0, sizeof value.m_Data);
    if (value.m_Text.GetLength() != 0)
        value.m_Text = "";
}
} // namespace

int CContainer::ParseValues(const char* text, CVariant* out, int* count)
{
    const int capacity = *count;
    int stored = 0;
    *count = 0;
    const char* p = text;
    for (;;)
    {
        const char c = *p;
        if (c == 0 || c == '/')
            return 0;
        if (c == '{')
            return 1;
        if (c == '}')
            return -1;
        if (IsBlank(c))
        {
            ++p;
            continue;
        }
        CVariant* slot = stored < capacity ? &out[stored] : nullptr;
        if (c == '"')
        {
            const char* start = ++p;
            while (*p && *p != '"')
                ++p;
            if (!*p)
                ThrowSyntaxError();
            if (slot)
            {
                ResetValue(*slot, CVariant::TYPE_STRING);
                slot->m_Text.Set(start, int(p - start));
            }
            ++p; // the character after the closing quote is examined as a separator
        }
        else if (IsLetter(c))
        {
            // Letters, digits and '_' are kept; any other character up to a blank is dropped.
            const char* start = p;
            int kept = 0;
            for (; *p && !IsBlank(*p); ++p)
                if (IsWordCharacter(*p))
                    ++kept;
            if (slot)
            {
                ResetValue(*slot, CVariant::TYPE_STRING);
                char* word = slot->m_Text.GetBuffer(kept + 1);
                int n = 0;
                for (const char* q = start; q < p; ++q)
                    if (IsWordCharacter(*q))
                        word[n++] = *q;
                word[n] = 0;
            }
        }
        else if (IsDigit(c) || c == '-')
        {
            SNumber number;
            p = ScanNumber(p, number);
            if (*p && !IsBlank(*p))
                ThrowSyntaxError();
            if (slot)
            {
                if (number.m_IsFloat)
                {
                    ResetValue(*slot, CVariant::TYPE_FLOAT);
                    slot->m_Data[0] = number.m_Float;
                }
                else
                {
                    ResetValue(*slot, CVariant::TYPE_INT);
                    slot->SetIntWord(number.m_Int);
                }
            }
        }
        else if (c == '(')
        {
            ++p;
            float components[4];
            int n = 0;
            for (;;)
            {
                while (IsBlank(*p))
                    ++p;
                if (*p == ')')
                    break;
                if (!IsDigit(*p) && *p != '-')
                    ThrowSyntaxError();
                SNumber number;
                p = ScanNumber(p, number);
                if (*p != ')' && !IsBlank(*p))
                    ThrowSyntaxError();
                if (n == 4)
                    ThrowSyntaxError();
                components[n++] = number.m_Float;
            }
            if (n < 2)
                ThrowSyntaxError();
            ++p; // past ')'
            if (*p)
                ++p; // the character after ')' is consumed without being examined
            if (slot)
            {
                ResetValue(*slot, uint32_t(CVariant::TYPE_VECTOR2 + (n - 2)));
                for (int i = 0; i < n; ++i)
                    slot->m_Data[i] = components[i];
            }
        }
        else
        {
            ThrowSyntaxError();
        }
        if (slot)
            *count = ++stored;
    }
}

// ---------------------------------------------------------------------------------------------
// Reading

namespace
{
// One buffer for every line of every read.
char s_LineBuffer[CContainer::LINE_BUFFER_SIZE];

// Nodes name their file by a pointer into this set, which lives as long as the process, so
// that a location stays valid wherever the node moves and costs no copy per line.
const char* SourceName(const char* name)
{
    static std::set<std::string> s_Names;
    return s_Names.insert(name ? name : "").first->c_str();
}

// Passes bytes through and counts the line ends among them.
class CLineCounter : public CInputStream
{
public:
    explicit CLineCounter(CInputStream& source) : m_Source(source) {}
    bool IsOpen() override { return m_Source.IsOpen(); }
    bool IsEOF() override { return m_Source.IsEOF(); }
    int32_t Read(void* buffer, int32_t size) override
    {
        const int32_t got = m_Source.Read(buffer, size);
        const char* bytes = static_cast<const char*>(buffer);
        for (int32_t i = 0; i < got; ++i)
        {
            if (bytes[i] == '\r' || (bytes[i] == '\n' && m_Last != '\r'))
                ++m_Ends;
            m_Last = bytes[i];
        }
        return got;
    }
    int m_Ends = 0;

private:
    CInputStream& m_Source;
    char m_Last = 0;
};

CInputStream* OpenIncludeFile(const char* path)
{
    CFileReader* reader = NEW CFileReader(path);
    if (reader->IsOpen())
        return reader;
    delete reader;
    return nullptr;
}

CContainer::TIncludeOpener s_IncludeOpener = OpenIncludeFile;

// Appends with room doubling while a block is read; the array is trimmed to its exact size
// when the block closes.
void AppendChild(CContainer* parent, CContainer* child)
{
    TDynamicArray<CContainer*>& children = parent->m_Children;
    if (children.GetCount() == children.GetCapacity() && children.GetCapacity() < INT_MAX / 16)
        children.SetCapacity(children.GetCapacity() * 2);
    if (children.Add(child) < 0)
    {
        delete child;
        ThrowSyntaxError();
    }
    child->m_Parent = parent;
}

void TrimChildren(CContainer* node)
{
    TDynamicArray<CContainer*>& children = node->m_Children;
    if (children.GetCapacity() > children.GetCount() && children.GetCount() > 0)
        children.SetCapacity(children.GetCount());
}

// Builds the tree below a root; INCLUDE lines read their file into the current block.
class CReader : public CContainerReader
{
public:
    CReader(CContainer* root, const char* fileName, const CReader* includer)
        : m_Current(root), m_Root(root), m_Includer(includer), m_Depth(includer ? includer->m_Depth + 1 : 0)
    {
        m_FileName = fileName;
        m_SourceName = SourceName(fileName);
    }

    void Run(CInputStream& stream)
    {
        // Lines are read byte by byte: serve them from whole blocks of the source.
        CBlockReader blocks(&stream, 65536);
        Read(blocks);
        for (CContainer* node = m_Current; node; node = node == m_Root ? nullptr : node->m_Parent)
            TrimChildren(node);
    }

    void AddLine(CVariant* values, int count, bool opensBlock) override
    {
        if (!m_Current)
            return;
        if (count == 2 && values[0].m_Type == CVariant::TYPE_STRING &&
            values[1].m_Type == CVariant::TYPE_STRING && values[0].m_Text == "INCLUDE")
        {
            Include(values[1].m_Text.GetText());
            return;
        }
        CContainer* node = NEW CContainer;
        node->m_File = m_SourceName;
        node->m_Line = m_LineNumber;
        AppendChild(m_Current, node);
        node->m_Values.SetCapacity(count);
        for (int i = 0; i < count; ++i)
            node->m_Values.Add(NEW CVariant(values[i]));
        if (opensBlock)
            m_Current = node;
    }

    void BeginBlock() override {}

    void EndBlock() override
    {
        if (!m_Current)
            return;
        TrimChildren(m_Current);
        m_Current = m_Current == m_Root ? nullptr : m_Current->m_Parent;
    }

private:
    void Include(const char* path)
    {
        if (m_Depth + 1 > CContainer::MAX_INCLUDE_DEPTH)
        {
            Log("SCRIPT: INCLUDE nested deeper than %d files, skipped: %s\n", CContainer::MAX_INCLUDE_DEPTH,
                path);
            return;
        }
        for (const CReader* reader = this; reader; reader = reader->m_Includer)
            if (reader->m_FileName == path)
            {
                Log("SCRIPT: INCLUDE of a file that is being read, skipped: %s\n", path);
                return;
            }
        CInputStream* stream = s_IncludeOpener(path);
        if (!stream)
            return;
        struct SStreamOwner
        {
            CInputStream* m_Stream;
            ~SStreamOwner() { delete m_Stream; }
        } owner{stream};

        CContainer included;
        CReader reader(&included, path, this);
        reader.Run(*stream);
        TDynamicArray<CContainer*>& moved = included.m_Children;
        for (int i = 0; i < moved.GetCount(); ++i)
        {
            CContainer* child = moved[i];
            moved[i] = nullptr; // the included root must not free what moved
            AppendChild(m_Current, child);
        }
        moved.SetCount(0);
    }

    CContainer* m_Current;
    CContainer* m_Root;
    const CReader* m_Includer;
    int m_Depth;
    CString m_FileName;
};
} // namespace

void CContainerReader::Read(CInputStream& stream)
{
    struct SValues
    {
        CVariant* m_Values = NEW CVariant[CContainer::MAX_LINE_VALUES];
        ~SValues() { delete[] m_Values; }
    } values;
    CLineCounter counter(stream);
    while (!counter.IsEOF())
    {
        m_LineNumber = counter.m_Ends + 1;
        bool truncated = false;
        ReadLine(counter, s_LineBuffer, CContainer::LINE_BUFFER_SIZE, &truncated);
        if (truncated)
        {
            Log("SCRIPT: %s:%d: line longer than %d bytes\n", m_SourceName, m_LineNumber,
                CContainer::LINE_BUFFER_SIZE - 1);
            ThrowSyntaxError();
        }
        int count = CContainer::MAX_LINE_VALUES;
        int result;
        try
        {
            result = CContainer::ParseValues(s_LineBuffer, values.m_Values, &count);
        }
        catch (const CException&)
        {
            LineFailed(s_LineBuffer);
            continue;
        }
        if (count > 0)
            AddLine(values.m_Values, count, result == 1);
        if (result == -1)
            EndBlock();
        else if (result == 1)
            BeginBlock();
    }
}

void CContainerReader::LineFailed(const char* text)
{
    while (IsBlank(*text))
        ++text;
    Log("SCRIPT: %s:%d: %s\n", m_SourceName, m_LineNumber, text);
    throw;
}

// ---------------------------------------------------------------------------------------------
// CContainer

CContainer::CContainer() : m_Parent(nullptr), m_File(SourceName("")), m_Line(0) {}

CContainer::~CContainer()
{
    // Frees the subtree without recursion, so that no nesting depth can exhaust the stack.
    std::vector<CContainer*> pending;
    for (int i = 0; i < m_Children.GetCount(); ++i)
        pending.push_back(m_Children[i]);
    while (!pending.empty())
    {
        CContainer* node = pending.back();
        pending.pop_back();
        if (!node)
            continue;
        for (int i = 0; i < node->m_Children.GetCount(); ++i)
            pending.push_back(node->m_Children[i]);
        node->m_Children.SetCount(0);
        delete node;
    }
    for (int i = 0; i < m_Values.GetCount(); ++i)
        delete m_Values[i];
}

bool CContainer::Read(CInputStream& stream)
{
    CFileReader* file = dynamic_cast<CFileReader*>(&stream);
    return Read(stream, file ? file->m_FileName.GetText() : "");
}

bool CContainer::Read(CInputStream& stream, const char* sourceName)
{
    CReader reader(this, sourceName, nullptr);
    reader.Run(stream);
    return true;
}

void CContainer::LogLocation() const
{
    std::string text;
    for (int i = 0; i < m_Values.GetCount(); ++i)
    {
        const CVariant& value = *m_Values[i];
        if (i > 0)
            text += ' ';
        if (value.m_Type == CVariant::TYPE_STRING && i > 0)
            text += std::string("\"") + value.m_Text.GetText() + "\"";
        else if (value.m_Type != CVariant::TYPE_EMPTY)
            text += value.ToString().GetText();
    }
    Log("SCRIPT: %s:%d: %s\n", m_File, m_Line, text.c_str());
}

CContainer::TIncludeOpener CContainer::SetIncludeOpener(TIncludeOpener opener)
{
    TIncludeOpener previous = s_IncludeOpener;
    s_IncludeOpener = opener ? opener : OpenIncludeFile;
    return previous;
}

CContainer* CContainer::Find(const char* key)
{
    if (!key)
        return nullptr;
    for (int i = 0; i < m_Children.GetCount(); ++i)
    {
        CContainer* child = m_Children[i];
        if (child->m_Values.GetCount() == 0)
            continue;
        const CVariant& first = *child->m_Values[0];
        // A string's text form is its text: compare it without making a copy.
        if (first.m_Type == CVariant::TYPE_STRING ? first.m_Text == key : first.ToString() == key)
            return child;
    }
    return nullptr;
}

namespace
{
const CVariant* FindArgument(CContainer* node, const char* key, const CContainer** found)
{
    CContainer* line = node->Find(key);
    if (!line || line->m_Values.GetCount() < 2)
        return nullptr;
    *found = line;
    return line->m_Values[1];
}

// Converts with the line's location in the log when the value has the wrong type.
template <class TConvert> auto Converted(const CContainer* line, TConvert convert)
{
    try
    {
        return convert();
    }
    catch (const CException&)
    {
        line->LogLocation();
        throw;
    }
}
} // namespace

bool CContainer::GetInt(const char* key, int* out, int defaultValue)
{
    *out = defaultValue;
    const CContainer* line = nullptr;
    const CVariant* value = FindArgument(this, key, &line);
    if (!value)
        return false;
    *out = Converted(line, [&] { return value->ToInt(); });
    return true;
}

bool CContainer::GetFloat(const char* key, float* out, float defaultValue)
{
    *out = defaultValue;
    const CContainer* line = nullptr;
    const CVariant* value = FindArgument(this, key, &line);
    if (!value)
        return false;
    *out = Converted(line, [&] { return value->ToFloat(); });
    return true;
}

bool CContainer::GetString(const char* key, CString* out, const char* defaultValue)
{
    *out = defaultValue;
    const CContainer* line = nullptr;
    const CVariant* value = FindArgument(this, key, &line);
    if (!value)
        return false;
    *out = Converted(line, [&] { return value->ToString(); });
    return true;
}

bool CContainer::GetVector3(const char* key, float out[3], float x, float y, float z)
{
    out[0] = x;
    out[1] = y;
    out[2] = z;
    const CContainer* line = nullptr;
    const CVariant* value = FindArgument(this, key, &line);
    if (!value)
        return false;
    CVector3 v = value->ToVector3();
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
    return true;
}

bool CContainer::ReadVars(CContainer* line, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    try
    {
        int index = 1;
        const int count = line ? line->m_Values.GetCount() : 0;
        for (const char* letter = format; *letter; ++letter, ++index)
        {
            void* target = va_arg(args, void*);
            // A line with too few values is as wrong as an unknown letter: nothing is guessed.
            if (!strchr("ifs234", *letter) || index >= count)
                throw CException("CContainer::ReadVars error");
            const CVariant& value = *line->m_Values[index];
            switch (*letter)
            {
                case 'i':
                    *static_cast<int*>(target) = value.ToInt();
                    break;
                case 'f':
                    *static_cast<float*>(target) = value.ToFloat();
                    break;
                case 's':
                    *static_cast<CString*>(target) = value.ToString();
                    break;
                default:
                    MemMove(target, value.m_Data, sizeof(float) * size_t(*letter - '0'));
                    break;
            }
        }
    }
    catch (...)
    {
        va_end(args);
        if (line)
            line->LogLocation();
        throw;
    }
    va_end(args);
    return true;
}
