// The line-level half of the checker: one file's text through the program's own line reader,
// and the mistakes visible in the text itself (syntax, braces, bare words).
#include "check.h"

#include "container.h"
#include "keth/func/exception.h"
#include "keth/func/stream.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace NCheck
{
namespace
{
bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsWordCharacter(char c)
{
    return IsLetter(c) || (c >= '0' && c <= '9') || c == '_';
}

std::string Trimmed(const std::string& text)
{
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos)
        return "";
    return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

// The lines as the reader counts them: "\n", "\r\n" and a lone "\r" each end one.
std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < text.size(); ++i)
    {
        const char c = text[i];
        if (c == '\r' || c == '\n')
        {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            lines.emplace_back();
        }
        else
            lines.back() += c;
    }
    return lines;
}

// Why the line parser refused a line, as far as the text shows.
std::string SyntaxHint(const std::string& line)
{
    if (std::count(line.begin(), line.end(), '"') % 2 == 1)
        return "a '\"' is not closed";
    for (size_t i = 1; i + 1 < line.size(); ++i)
        if ((line[i] == 'e' || line[i] == 'E') && isdigit(static_cast<unsigned char>(line[i - 1])) &&
            (isdigit(static_cast<unsigned char>(line[i + 1])) || line[i + 1] == '-' || line[i + 1] == '+'))
            return "numbers are written without an exponent";
    const size_t open = line.find('(');
    if (open != std::string::npos)
    {
        const size_t close = line.find(')', open);
        const std::string inside =
            line.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
        if (inside.find(',') != std::string::npos)
            return "the numbers of a vector are separated by blanks, not commas";
        if (close == std::string::npos)
            return "a '(' is not closed";
        int numbers = 0;
        bool inNumber = false;
        for (char c : inside)
        {
            const bool part = !IsBlank(c);
            numbers += part && !inNumber;
            inNumber = part;
        }
        if (numbers < 2 || numbers > 4)
            return "a vector holds 2, 3 or 4 numbers";
    }
    if (line.find(';') != std::string::npos)
        return "lines end without ';'";
    return "values are numbers, (vectors), \"quoted text\" or words that start with a letter";
}

// Follows one readable line as the line parser walks it, for what it drops without a word.
void CheckText(const std::string& line, std::vector<std::string>& notes)
{
    size_t p = 0;
    int values = 0;
    while (p < line.size())
    {
        const char c = line[p];
        if (c == '/')
            break;
        if (c == '{' || c == '}')
        {
            const std::string rest = Trimmed(line.substr(p + 1));
            if (!rest.empty() && rest[0] != '/')
                notes.push_back(std::string("the text after '") + c + "' is not read: " + rest);
            break;
        }
        if (IsBlank(c))
        {
            ++p;
            continue;
        }
        ++values;
        if (c == '"')
        {
            p = line.find('"', p + 1);
            p = p == std::string::npos ? line.size() : p + 1;
        }
        else if (IsLetter(c))
        {
            const size_t start = p;
            while (p < line.size() && !IsBlank(line[p]))
                ++p;
            const std::string word = line.substr(start, p - start);
            std::string kept;
            for (char k : word)
                if (IsWordCharacter(k))
                    kept += k;
            if (kept == word)
                continue;
            std::string note = "the word " + word + " is read as " + kept;
            if (word.find_first_of("{}") != std::string::npos)
                note += "; a brace that touches a word opens or closes no block: put a blank before it";
            else if (word.find('/') != std::string::npos &&
                     (word.back() == '/' || word.find("//") != std::string::npos))
                note += "; a comment needs a blank before its '/'";
            else
                note += "; write it in double quotes, \"" + word + "\", to keep every character";
            notes.push_back(note);
        }
        else if (c == '(')
        {
            p = line.find(')', p);
            if (p == std::string::npos)
                break;
            ++p;
            if (p < line.size() && !IsBlank(line[p]))
            {
                notes.push_back(std::string("the '") + line[p] +
                                "' right after ')' is not read: put a blank after ')'");
                ++p;
            }
        }
        else
            while (p < line.size() && !IsBlank(line[p]))
                ++p;
    }
    if (values > CContainer::MAX_LINE_VALUES)
        notes.push_back("only the first " + std::to_string(CContainer::MAX_LINE_VALUES) +
                        " values of a line are kept");
}

class CScan : public CContainerReader
{
public:
    CScan(const std::string& file, const std::vector<std::string>& lines, std::vector<SProblem>& problems,
          std::vector<SInclude>& includes)
        : m_File(file), m_Lines(lines), m_Problems(problems), m_Includes(includes)
    {
        m_SourceName = m_File.c_str();
    }

    void Run(NKeth::CInputStream& in)
    {
        try
        {
            Read(in);
        }
        catch (const NKeth::CException&)
        {
            // Only a line too long for the reader's buffer ends the read here.
            Add(m_LineNumber, "the line is longer than " + std::to_string(CContainer::LINE_BUFFER_SIZE - 1) +
                                  " bytes; the program stops reading with \"Error: error\"");
            m_Failed.insert(m_LineNumber);
            m_StoppedAt = m_LineNumber;
        }
        if (m_ClosedAt == 0 && !m_Open.empty())
            Add(m_Open.back().m_Line, "the " + m_Open.back().m_Keyword +
                                          " block opened here is not closed: every later line of the file is "
                                          "inside it; add a '}'");
    }

    void AddLine(CVariant* values, int count, bool opensBlock) override
    {
        m_LastLine = m_LineNumber;
        if (m_ClosedAt)
            return;
        const bool isString0 = values[0].m_Type == CVariant::TYPE_STRING;
        if (isString0 && values[0].m_Text == "INCLUDE")
        {
            if (count == 2 && values[1].m_Type == CVariant::TYPE_STRING)
            {
                m_Includes.push_back({m_LineNumber, values[1].m_Text.GetText()});
                return;
            }
            Add(m_LineNumber, "INCLUDE takes one file name in double quotes; this line is read as a key");
        }
        if (!m_Open.empty())
            ++m_Open.back().m_Lines;
        if (opensBlock)
            m_Open.push_back(
                {isString0 ? values[0].m_Text.GetText() : values[0].ToString().GetText(), m_LineNumber, 0});
    }

    void BeginBlock() override
    {
        if (m_LastLine != m_LineNumber && !m_ClosedAt)
            Add(m_LineNumber, "a '{' alone on a line opens no block: put it at the end of the line of the "
                              "block's keyword");
    }

    void EndBlock() override
    {
        if (m_ClosedAt)
            return;
        if (m_Open.empty())
        {
            m_ClosedAt = m_LineNumber;
            int ignored = 0;
            for (size_t i = size_t(m_LineNumber); i < m_Lines.size(); ++i)
            {
                const std::string text = Trimmed(m_Lines[i]);
                ignored += !text.empty() && text[0] != '/';
            }
            std::string text = "this '}' closes no block";
            if (ignored > 0)
                text +=
                    ": it ends the file here and its " + std::to_string(ignored) + " later lines are ignored";
            Add(m_LineNumber, text);
            return;
        }
        if (m_Open.back().m_Lines == 0)
            Add(m_Open.back().m_Line,
                "the " + m_Open.back().m_Keyword + " block has no lines, so it is no effect and is skipped");
        m_Open.pop_back();
    }

    std::set<int> m_Failed;
    int m_StoppedAt = 0;
    int m_ClosedAt = 0;

protected:
    void LineFailed(const char* text) override
    {
        m_LastLine = m_LineNumber;
        m_Failed.insert(m_LineNumber);
        if (!m_Open.empty())
            ++m_Open.back().m_Lines;
        if (!m_ClosedAt)
            Add(m_LineNumber, "cannot read " + Trimmed(text) + ": " + SyntaxHint(text) +
                                  "; the program stops reading with \"Error: error\"");
    }

private:
    struct SOpen
    {
        std::string m_Keyword;
        int m_Line;
        int m_Lines;
    };

    void Add(int line, const std::string& text) { m_Problems.push_back({m_File, line, text}); }

    const std::string& m_File;
    const std::vector<std::string>& m_Lines;
    std::vector<SProblem>& m_Problems;
    std::vector<SInclude>& m_Includes;
    std::vector<SOpen> m_Open;
    int m_LastLine = 0;
};
} // namespace

std::string ScanScript(const std::string& file, const std::string& text, std::vector<SProblem>& problems,
                       std::vector<SInclude>& includes)
{
    const std::vector<std::string> lines = SplitLines(text);
    NKeth::CMemoryReader in(text.data(), int32_t(std::min<size_t>(text.size(), INT32_MAX)));
    CScan scan(file, lines, problems, includes);
    scan.Run(in);

    std::string readable;
    for (size_t i = 0; i < lines.size(); ++i)
    {
        const int number = int(i) + 1;
        if (scan.m_StoppedAt && number >= scan.m_StoppedAt)
            break;
        if (scan.m_Failed.count(number))
        {
            readable += "\n";
            continue;
        }
        std::vector<std::string> notes;
        if (!scan.m_ClosedAt || number <= scan.m_ClosedAt)
            CheckText(lines[i], notes);
        for (const std::string& note : notes)
            problems.push_back({file, number, note});
        readable += lines[i] + "\n";
    }
    return readable;
}

std::string Nearest(const std::string& word, const std::vector<std::string>& candidates)
{
    std::string best;
    size_t bestDistance = (word.size() <= 4 ? 1 : word.size() <= 8 ? 2 : 3) + 1;
    for (const std::string& candidate : candidates)
    {
        // Edits and swaps of neighbours, row by row.
        const size_t n = candidate.size();
        std::vector<size_t> before(n + 1), previous(n + 1), row(n + 1);
        for (size_t j = 0; j <= n; ++j)
            previous[j] = j;
        for (size_t i = 1; i <= word.size(); ++i)
        {
            row[0] = i;
            for (size_t j = 1; j <= n; ++j)
            {
                row[j] = std::min({previous[j] + 1, row[j - 1] + 1,
                                   previous[j - 1] + (word[i - 1] == candidate[j - 1] ? 0 : 1)});
                if (i > 1 && j > 1 && word[i - 1] == candidate[j - 2] && word[i - 2] == candidate[j - 1])
                    row[j] = std::min(row[j], before[j - 2] + 1);
            }
            before.swap(previous);
            previous.swap(row);
        }
        if (previous[n] < bestDistance && candidate != word)
        {
            bestDistance = previous[n];
            best = candidate;
        }
    }
    return best;
}
} // namespace NCheck
