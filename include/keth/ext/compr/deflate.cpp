#include "keth/ext/compr/deflate.h"
#include "keth/base/memorymanager.h"
#include "keth/func/exception.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace NKeth
{
namespace
{
const char* const TEXT_BLOCKTYPE = "ROARRRRRRR! Can't handle this blocktype";
const char* const TEXT_STATE = "Invalid decoder state";
const char* const TEXT_END_OF_DATA = "Unexpected end of compressed data";
const char* const TEXT_CODE_LENGTHS = "Invalid Huffman code lengths";
const char* const TEXT_CODE = "Invalid Huffman code";
const char* const TEXT_DISTANCE = "Invalid distance, too far back";
const char* const TEXT_STORED_LENGTH = "Invalid stored block length";
const char* const TEXT_DATA_CHECK = "Unable to load. zlib data check failed";
const char* const TEXT_RLE_BOUNDS = "RLEDecoder: Error, Out of bounds";
const char* const TEXT_RLE_END = "RLEDecoder: Error, Unexpected end of data";

const uint8_t CODE_LENGTH_ORDER[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
const uint16_t LENGTH_BASE[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t DISTANCE_BASE[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t DISTANCE_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

const int LITERAL_SYMBOLS = 286;
const int DISTANCE_SYMBOLS = 30;
const int END_OF_BLOCK = 256;

// DEFLATE accepts an incomplete code only in the degenerate cases: no distance codes at all,
// or a single code of one bit.
void BuildDeflateAlphabet(CHuffmanAlphabet& alphabet)
{
    const TDynamicArray<CHuffmanAlphabet::CEntry>& entries = alphabet.m_Entries;
    bool degenerate = entries.GetCount() == 0 || (entries.GetCount() == 1 && entries[0].length == 1);
    alphabet.Build(degenerate);
}
} // namespace

void CBitReader::ThrowEndOfData()
{
    throw CException(TEXT_END_OF_DATA);
}

void CBitReader::Commit()
{
    if (m_Next != m_Start)
        m_Source->Read(nullptr, int32_t(m_Next - m_Start));
    m_Start = m_Next = m_End = nullptr;
}

void CBitReader::Release()
{
    if (!m_Source)
        return;
    int32_t unused = m_Count >> 3;
    if (unused > m_Next - m_Start)
        unused = int32_t(m_Next - m_Start);
    m_Next -= unused;
    m_Count -= unused * 8;
    m_Bits &= (uint64_t(1) << m_Count) - 1u;
    Commit();
}

void CBitReader::Fill(int n)
{
    m_Bits &= (uint64_t(1) << m_Count) - 1u;
    while (m_Count < n)
    {
        if (m_Next == m_End)
        {
            // Every byte held is needed for the n bits, so the taken ones can go.
            Commit();
            int32_t held = m_Source ? m_Source->Peek(&m_Start) : 0;
            if (held <= 0)
            {
                m_Start = nullptr;
                unsigned char byte;
                if (!m_Source || m_Source->Read(&byte, 1) != 1)
                    ThrowEndOfData();
                m_Bits |= uint64_t(byte) << m_Count;
                m_Count += 8;
                continue;
            }
            m_Next = m_Start;
            m_End = m_Start + held;
        }
        m_Bits |= uint64_t(*m_Next++) << m_Count;
        m_Count += 8;
    }
}

void CBitReader::RefillTail()
{
    m_Bits &= (uint64_t(1) << m_Count) - 1u;
    while (m_Count <= 56 && m_Next != m_End)
    {
        m_Bits |= uint64_t(*m_Next++) << m_Count;
        m_Count += 8;
    }
}

CHuffmanAlphabet::CHuffmanAlphabet() : m_NextNode(3)
{
    memset(m_Nodes, 0, sizeof m_Nodes);
    memset(m_Table, 0, sizeof m_Table);
}

void CHuffmanAlphabet::Clear()
{
    m_Entries.Clear();
    m_Nodes[0] = m_Nodes[1] = m_Nodes[2] = 0;
    m_NextNode = 3;
    memset(m_Table, 0, sizeof m_Table);
}

void CHuffmanAlphabet::AddEntry(int symbol, int length, unsigned code)
{
    CEntry entry;
    entry.symbol = symbol;
    entry.code = code;
    entry.length = length;
    m_Entries.Add(entry);
}

void CHuffmanAlphabet::ThrowInvalidCode()
{
    throw CException(TEXT_CODE);
}

void CHuffmanAlphabet::Build(bool allowIncomplete)
{
    int count = m_Entries.GetCount();
    CEntry* entries = m_Entries.GetData();

    // Kraft's sum decides whether the lengths describe a prefix code at all.
    int perLength[MAX_CODE_LENGTH + 1] = {0};
    for (int i = 0; i < count; ++i)
    {
        if (entries[i].length < 1 || entries[i].length > MAX_CODE_LENGTH)
            throw CException(TEXT_CODE_LENGTHS);
        ++perLength[entries[i].length];
    }
    int32_t left = 1;
    for (int length = 1; length <= MAX_CODE_LENGTH; ++length)
    {
        left = left * 2 - perLength[length];
        if (left < 0)
            throw CException(TEXT_CODE_LENGTHS);
    }
    if (left > 0 && !allowIncomplete)
        throw CException(TEXT_CODE_LENGTHS);

    // Stable counting sort by length; callers add the entries by symbol.
    bool bySymbol = true;
    for (int i = 1; i < count && bySymbol; ++i)
        bySymbol = entries[i - 1].symbol < entries[i].symbol;
    if (bySymbol)
    {
        int start[MAX_CODE_LENGTH + 2] = {0};
        for (int length = 1; length <= MAX_CODE_LENGTH; ++length)
            start[length + 1] = start[length] + perLength[length];
        TDynamicArray<CEntry> sorted;
        sorted.SetCount(count);
        for (int i = 0; i < count; ++i)
            sorted[start[entries[i].length]++] = entries[i];
        for (int i = 0; i < count; ++i)
            entries[i] = sorted[i];
    }
    else
        for (int i = 1; i < count; ++i)
        {
            CEntry entry = entries[i];
            int j = i - 1;
            while (j >= 0 && (entries[j].length > entry.length ||
                              (entries[j].length == entry.length && entries[j].symbol > entry.symbol)))
            {
                entries[j + 1] = entries[j];
                --j;
            }
            entries[j + 1] = entry;
        }

    uint32_t code = 0;
    int previous = 1;
    for (int i = 0; i < count; ++i)
    {
        code <<= entries[i].length - previous;
        uint32_t reversed = 0;
        for (int k = 0; k < entries[i].length; ++k)
            reversed |= ((code >> k) & 1u) << (entries[i].length - 1 - k);
        entries[i].code = reversed;
        ++code;
        previous = entries[i].length;
    }

    m_Nodes[0] = m_Nodes[1] = m_Nodes[2] = 0;
    m_NextNode = 3;
    memset(m_Table, 0, sizeof m_Table);
    for (int i = count - 1; i >= 0; --i)
    {
        uint32_t node = 0;
        for (int k = 0; k < entries[i].length; ++k)
        {
            uint32_t word = node + 1 + ((entries[i].code >> k) & 1u);
            if (m_Nodes[word] == 0)
            {
                if (m_NextNode + 3 > MAX_NODE_WORDS)
                    throw CException(TEXT_CODE_LENGTHS);
                m_Nodes[m_NextNode] = m_Nodes[m_NextNode + 1] = m_Nodes[m_NextNode + 2] = 0;
                m_Nodes[word] = uint32_t(m_NextNode);
                m_NextNode += 3;
            }
            node = m_Nodes[word];
        }
        m_Nodes[node] = 1;
        m_Nodes[node + 1] = uint32_t(entries[i].symbol);

        // A code of n bits owns every table slot whose low n bits are the code.
        if (entries[i].length <= TABLE_BITS && entries[i].symbol >= 0 && entries[i].symbol < (1 << 26))
        {
            uint32_t value = (uint32_t(entries[i].symbol) << 5) | uint32_t(entries[i].length);
            for (uint32_t slot = entries[i].code; slot < (1u << TABLE_BITS); slot += 1u << entries[i].length)
                m_Table[slot] = value;
        }
    }
    for (int i = 0; i < count; ++i)
    {
        if (entries[i].length <= TABLE_BITS)
            continue;
        uint32_t slot = entries[i].code & ((1u << TABLE_BITS) - 1u);
        if (m_Table[slot])
            continue;
        uint32_t node = 0;
        for (int k = 0; k < TABLE_BITS; ++k)
            node = m_Nodes[node + 1 + ((slot >> k) & 1u)];
        m_Table[slot] = node << 5;
    }
}

int CHuffmanAlphabet::DecodeSlow(CBitReader& bits) const
{
    for (int symbol;;)
    {
        if (FromTable(bits, symbol))
            return symbol;
        if (bits.m_Count >= TABLE_BITS)
            break;
        bits.Need(bits.m_Count + 1);
    }
    uint32_t node = m_Table[bits.m_Bits & ((1u << TABLE_BITS) - 1u)] >> 5;
    if (node == 0)
        ThrowInvalidCode();
    bits.m_Bits >>= TABLE_BITS;
    bits.m_Count -= TABLE_BITS;
    for (;;)
    {
        bits.Need(1);
        uint32_t bit = uint32_t(bits.m_Bits & 1u);
        bits.m_Bits >>= 1;
        --bits.m_Count;
        uint32_t child = m_Nodes[node + 1 + bit];
        if (child == 0)
            ThrowInvalidCode();
        node = child;
        if (m_Nodes[node])
            return int(m_Nodes[node + 1]);
    }
}

CDeflateReader::CDeflateReader(CInputStream* source, int window)
    : CInputStream(g_EmptyMimeType), m_Source(source), m_BitReader(source), m_LastBlock(false),
      m_WindowSize(0), m_Window(nullptr), m_WindowPos(0), m_State(STATE_HEADER), m_Remaining(0),
      m_Distance(0), m_CopyPos(0), m_Size(-1), m_Produced(0), m_FixedTables(false)
{
    if (window < 1)
        window = 1;
    if (window > (1 << 24))
        window = 1 << 24;
    m_WindowSize = window * 2;
    m_Window = NEW unsigned char[size_t(m_WindowSize)];
    memset(m_Window, 0, size_t(m_WindowSize));
}

CDeflateReader::~CDeflateReader()
{
    delete[] m_Window;
}

bool CDeflateReader::IsOpen()
{
    return m_Source && m_Source->IsOpen();
}

bool CDeflateReader::IsEOF()
{
    return m_State == STATE_END;
}

int32_t CDeflateReader::GetSize()
{
    return m_Size;
}

void CDeflateReader::ReadStoredHeader()
{
    m_BitReader.Align();
    unsigned length = m_BitReader.GetBits(16);
    unsigned check = m_BitReader.GetBits(16);
    if ((length ^ 0xFFFFu) != check)
        throw CException(TEXT_STORED_LENGTH);
    m_Remaining = int32_t(length);
    // The block's bytes come straight from the source.
    m_BitReader.Release();
}

void CDeflateReader::ReadTables()
{
    int literals = int(m_BitReader.GetBits(5)) + 257;
    int distances = int(m_BitReader.GetBits(5)) + 1;
    int codeLengths = int(m_BitReader.GetBits(4)) + 4;
    if (literals > LITERAL_SYMBOLS || distances > DISTANCE_SYMBOLS)
        throw CException(TEXT_CODE_LENGTHS);

    m_FixedTables = false;
    m_CodeLengths.Clear();
    m_Literals.Clear();
    m_Distances.Clear();
    m_CodeLengths.m_Entries.SetCapacity(19);
    for (int i = 0; i < codeLengths; ++i)
    {
        int length = int(m_BitReader.GetBits(3));
        if (length)
            m_CodeLengths.AddEntry(CODE_LENGTH_ORDER[i], length);
    }
    m_CodeLengths.Build(false);

    uint8_t lengths[349] = {0};
    int total = literals + distances;
    int n = 0;
    while (n < total)
    {
        int symbol = m_CodeLengths.Decode(m_BitReader);
        if (symbol < 16)
        {
            lengths[n++] = uint8_t(symbol);
            continue;
        }
        uint8_t value = 0;
        int repeat;
        if (symbol == 16)
        {
            if (n == 0)
                throw CException(TEXT_CODE_LENGTHS);
            value = lengths[n - 1];
            repeat = 3 + int(m_BitReader.GetBits(2));
        }
        else if (symbol == 17)
            repeat = 3 + int(m_BitReader.GetBits(3));
        else
            repeat = 11 + int(m_BitReader.GetBits(7));
        if (repeat > total - n)
            repeat = total - n;
        while (repeat-- > 0)
            lengths[n++] = value;
    }
    // Without an end-of-block code the block could only end in an error.
    if (lengths[END_OF_BLOCK] == 0)
        throw CException(TEXT_CODE_LENGTHS);

    m_Literals.m_Entries.SetCapacity(literals);
    for (int i = 0; i < literals; ++i)
        if (lengths[i])
            m_Literals.AddEntry(i, lengths[i]);
    m_Distances.m_Entries.SetCapacity(distances);
    for (int j = 0; j < distances; ++j)
        if (lengths[literals + j])
            m_Distances.AddEntry(j, lengths[literals + j]);
    BuildDeflateAlphabet(m_Literals);
    BuildDeflateAlphabet(m_Distances);
}

void CDeflateReader::LoadFixedTables()
{
    if (m_FixedTables)
        return;
    m_Literals.Clear();
    m_Distances.Clear();
    m_Literals.m_Entries.SetCapacity(288);
    for (int i = 0; i < 288; ++i)
        m_Literals.AddEntry(i, i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8);
    m_Distances.m_Entries.SetCapacity(32);
    for (int j = 0; j < 32; ++j)
        m_Distances.AddEntry(j, 5);
    m_Literals.Build(false);
    m_Distances.Build(false);
    m_FixedTables = true;
}

namespace
{
// Goes on from the node that a code's first TABLE_BITS bits lead to; length becomes the code's
// length. The bits stay in place.
int32_t WalkTree(const uint32_t* nodes, uint32_t node, uint64_t bits, int32_t& length)
{
    length = CHuffmanAlphabet::TABLE_BITS;
    bits >>= CHuffmanAlphabet::TABLE_BITS;
    do
    {
        uint32_t child = nodes[node + 1 + uint32_t(bits & 1u)];
        if (child == 0)
            throw CException(TEXT_CODE);
        node = child;
        bits >>= 1;
        ++length;
    } while (!nodes[node]);
    return int32_t(nodes[node + 1]);
}

// Whoever reads the source next finds it just after the bits used.
class CReleaseBits
{
public:
    explicit CReleaseBits(CBitReader& bits) : m_Bits(bits) {}
    ~CReleaseBits() { m_Bits.Release(); }
    CReleaseBits(const CReleaseBits&) = delete;
    CReleaseBits& operator=(const CReleaseBits&) = delete;

private:
    CBitReader& m_Bits;
};
} // namespace

bool CDeflateReader::DecodeFast(unsigned char* out, int32_t& done, int32_t size)
{
    // A length/distance pair takes at most 48 bits, so one refill of 56 serves each symbol.
    CBitReader& reader = m_BitReader;
    uint64_t bits = reader.m_Bits;
    int32_t count = reader.m_Count;
    const unsigned char* in = reader.m_Next;
    const unsigned char* const inEnd = reader.m_End;
    unsigned char* const window = m_Window;
    const int32_t windowSize = m_WindowSize;
    int32_t pos = m_WindowPos;
    int32_t produced = m_Produced;
    const uint32_t* const literals = m_Literals.m_Table;
    const uint32_t* const distances = m_Distances.m_Table;
    const uint32_t* const literalNodes = m_Literals.m_Nodes;
    const uint32_t* const distanceNodes = m_Distances.m_Nodes;
    const uint32_t mask = (1u << CHuffmanAlphabet::TABLE_BITS) - 1u;
    // Copies may run up to 7 bytes past a match into history no distance can reach.
    const bool wide = windowSize >= 2 * 32768;
    bool blockEnd = false;
    if (m_Literals.m_Nodes[0] || m_Distances.m_Nodes[0])
        return false;
    auto putLiteral = [&](int32_t length, int32_t symbol)
    {
        bits >>= length;
        count -= length;
        window[pos] = (unsigned char)symbol;
        if (out)
            out[done] = (unsigned char)symbol;
        ++done;
        if (++pos == windowSize)
            pos = 0;
        if (produced < windowSize)
            ++produced;
    };
    while (done < size && inEnd - in >= 8)
    {
        bits |= ReadLE64(in) << count;
        in += (63 - count) >> 3;
        count |= 56;
        uint32_t entry = literals[bits & mask];
        int32_t length = int32_t(entry & 31u);
        int32_t symbol = int32_t(entry >> 5);
        if (length == 0)
        {
            if (symbol == 0)
                break;
            symbol = WalkTree(literalNodes, uint32_t(symbol), bits, length);
        }
        if (symbol < 256)
        {
            putLiteral(length, symbol);
            // At least 41 bits are left: enough for a second short literal without a refill.
            entry = literals[bits & mask];
            length = int32_t(entry & 31u);
            if (length != 0 && entry < (256u << 5) && done < size)
                putLiteral(length, int32_t(entry >> 5));
            continue;
        }
        if (symbol == END_OF_BLOCK)
        {
            bits >>= length;
            count -= length;
            blockEnd = true;
            break;
        }
        int32_t index = symbol - 257;
        if (index >= 29)
            break;
        uint64_t rest = bits >> length;
        int32_t extra = LENGTH_EXTRA[index];
        int32_t matchLength = LENGTH_BASE[index] + int32_t(rest & ((1u << extra) - 1u));
        rest >>= extra;
        uint32_t distanceEntry = distances[rest & mask];
        int32_t distanceLength = int32_t(distanceEntry & 31u);
        int32_t code = int32_t(distanceEntry >> 5);
        if (distanceLength == 0)
        {
            if (code == 0)
                break;
            code = WalkTree(distanceNodes, uint32_t(code), rest, distanceLength);
        }
        if (code >= DISTANCE_SYMBOLS)
            break;
        rest >>= distanceLength;
        int32_t distanceExtra = DISTANCE_EXTRA[code];
        int32_t distance = DISTANCE_BASE[code] + int32_t(rest & ((1u << distanceExtra) - 1u));
        if (distance > produced)
            break;
        int32_t used = length + extra + distanceLength + distanceExtra;
        bits >>= used;
        count -= used;
        int32_t from = pos - distance;
        if (from < 0)
            from += windowSize;
        if (matchLength > size - done || pos + matchLength + 8 > windowSize ||
            from + matchLength + 8 > windowSize || !wide)
        {
            // Near the ends of the window or the request the general copy takes over.
            m_Remaining = matchLength;
            m_Distance = distance;
            m_CopyPos = from;
            m_State = STATE_MATCH;
            break;
        }
        unsigned char* to = window + pos;
        const unsigned char* source = window + from;
        if (distance >= 8)
            for (int32_t k = 0; k < matchLength; k += 8)
                memcpy(to + k, source + k, 8);
        else
        {
            // A short period: one word of the repeating pattern, stored at whole periods.
            unsigned char pattern[8];
            for (int32_t k = 0; k < 8; ++k)
                pattern[k] = source[k % distance];
            int32_t step = 8 - 8 % distance;
            for (int32_t k = 0; k < matchLength; k += step)
                memcpy(to + k, pattern, 8);
        }
        if (out)
        {
            // Matches are mostly short: word copies beat a call.
            unsigned char* target = out + done;
            int32_t k = 0;
            for (; k + 8 <= matchLength; k += 8)
                memcpy(target + k, to + k, 8);
            for (; k < matchLength; ++k)
                target[k] = to[k];
        }
        done += matchLength;
        pos += matchLength;
        produced = windowSize - produced > matchLength ? produced + matchLength : windowSize;
    }
    reader.m_Bits = bits;
    reader.m_Count = count;
    reader.m_Next = in;
    m_WindowPos = pos;
    m_Produced = produced;
    if (blockEnd)
        m_State = STATE_BLOCK_END;
    return blockEnd || m_State == STATE_MATCH || done == size;
}

int32_t CDeflateReader::Read(void* buffer, int32_t size)
{
    if (size < 1 || !m_Source)
        return 0;
    unsigned char* out = static_cast<unsigned char*>(buffer);
    int32_t done = 0;
    CReleaseBits release(m_BitReader);
    while (done < size)
    {
        switch (m_State)
        {
            case STATE_HEADER:
            {
                m_LastBlock = m_BitReader.GetBits(1) != 0;
                unsigned type = m_BitReader.GetBits(2);
                if (type == 0)
                {
                    ReadStoredHeader();
                    m_State = STATE_STORED;
                }
                else if (type == 1)
                {
                    LoadFixedTables();
                    m_State = STATE_DATA;
                }
                else if (type == 2)
                    m_State = STATE_TABLES;
                else
                    throw CException(TEXT_BLOCKTYPE);
                break;
            }
            case STATE_TABLES:
                ReadTables();
                m_State = STATE_DATA;
                break;
            case STATE_STORED:
            {
                // Bulk reads straight into the window, which the output is copied from.
                while (m_Remaining > 0 && done < size)
                {
                    int32_t n = m_Remaining < size - done ? m_Remaining : size - done;
                    if (n > m_WindowSize - m_WindowPos)
                        n = m_WindowSize - m_WindowPos;
                    if (m_Source->Read(m_Window + m_WindowPos, n) != n)
                        CBitReader::ThrowEndOfData();
                    if (out)
                        memcpy(out + done, m_Window + m_WindowPos, size_t(n));
                    m_WindowPos += n;
                    if (m_WindowPos == m_WindowSize)
                        m_WindowPos = 0;
                    m_Remaining -= n;
                    done += n;
                    m_Produced = m_WindowSize - m_Produced > n ? m_Produced + n : m_WindowSize;
                }
                if (m_Remaining == 0)
                    m_State = STATE_BLOCK_END;
                break;
            }
            case STATE_DATA:
            {
                if (DecodeFast(out, done, size))
                    break;
                // One symbol the careful way: the input is short or the code is long.
                for (;;)
                {
                    int symbol = m_Literals.Decode(m_BitReader);
                    if (symbol < 256)
                    {
                        unsigned char byte = (unsigned char)symbol;
                        if (out)
                            out[done] = byte;
                        m_Window[m_WindowPos] = byte;
                        if (++m_WindowPos == m_WindowSize)
                            m_WindowPos = 0;
                        if (m_Produced < m_WindowSize)
                            ++m_Produced;
                        ++done;
                        break;
                    }
                    if (symbol == END_OF_BLOCK)
                    {
                        m_State = STATE_BLOCK_END;
                        break;
                    }
                    int index = symbol - 257;
                    if (index >= 29)
                        throw CException(TEXT_CODE);
                    int length = LENGTH_BASE[index] + int(m_BitReader.GetBits(LENGTH_EXTRA[index]));
                    int code = m_Distances.Decode(m_BitReader);
                    if (code >= DISTANCE_SYMBOLS)
                        throw CException(TEXT_CODE);
                    int distance = DISTANCE_BASE[code] + int(m_BitReader.GetBits(DISTANCE_EXTRA[code]));
                    if (distance > m_Produced)
                        throw CException(TEXT_DISTANCE);
                    m_Remaining = length;
                    m_Distance = distance;
                    m_CopyPos = m_WindowPos - distance;
                    if (m_CopyPos < 0)
                        m_CopyPos += m_WindowSize;
                    m_State = STATE_MATCH;
                    break;
                }
                break;
            }
            case STATE_MATCH:
            {
                int32_t n = m_Remaining < size - done ? m_Remaining : size - done;
                unsigned char* window = m_Window;
                int32_t from = m_CopyPos, to = m_WindowPos, end = m_WindowSize;
                for (int32_t left = n; left > 0;)
                {
                    // Pieces that do not wrap around the window.
                    int32_t piece = left;
                    if (piece > end - from)
                        piece = end - from;
                    if (piece > end - to)
                        piece = end - to;
                    if (m_Distance >= piece)
                        memmove(window + to, window + from, size_t(piece));
                    else
                    {
                        // The match overlaps the bytes it produces, repeating a pattern of
                        // m_Distance bytes. Every copy reads only bytes already written, as a
                        // byte-by-byte copy would, and doubles the pattern at hand.
                        unsigned char* destination = window + to;
                        const unsigned char* pattern = window + from;
                        for (int32_t copied = 0; copied < piece;)
                        {
                            int32_t phase = copied % m_Distance;
                            int32_t length = m_Distance + copied - phase;
                            if (length > piece - copied)
                                length = piece - copied;
                            memcpy(destination + copied, pattern + phase, size_t(length));
                            copied += length;
                        }
                    }
                    if (out)
                        memcpy(out + done + (n - left), window + to, size_t(piece));
                    from += piece;
                    if (from == end)
                        from = 0;
                    to += piece;
                    if (to == end)
                        to = 0;
                    left -= piece;
                }
                m_CopyPos = from;
                m_WindowPos = to;
                m_Remaining -= n;
                done += n;
                m_Produced = m_WindowSize - m_Produced > n ? m_Produced + n : m_WindowSize;
                if (m_Remaining == 0)
                    m_State = STATE_DATA;
                break;
            }
            case STATE_BLOCK_END:
                m_State = m_LastBlock ? STATE_END : STATE_HEADER;
                break;
            case STATE_END:
                return done;
            default:
                throw CException(TEXT_STATE);
        }
    }
    return done;
}

uint32_t Adler32(uint32_t adler, const unsigned char* data, int32_t size)
{
    // 5552 is the longest run whose sums cannot overflow 32 bits before the reduction.
    uint32_t a = adler & 0xFFFFu, b = adler >> 16;
    while (size > 0)
    {
        int32_t n = size < 5552 ? size : 5552;
        size -= n;
        int32_t i = 0;
#if defined(__SSE2__)
        // Per 16 bytes b gains 16 a plus the bytes weighted 16 ... 1; a gains their sum. The sums
        // of a before each chunk are gathered in prefix.
        {
            const __m128i zero = _mm_setzero_si128();
            const __m128i weightsLow = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
            const __m128i weightsHigh = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
            __m128i bytes = zero, prefix = zero, weighted = zero;
            int32_t chunks = n / 16;
            for (int32_t c = 0; c < chunks; ++c)
            {
                __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * c));
                prefix = _mm_add_epi64(prefix, bytes);
                bytes = _mm_add_epi64(bytes, _mm_sad_epu8(v, zero));
                weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(v, zero), weightsLow));
                weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(v, zero), weightsHigh));
            }
            uint64_t lanes[2];
            _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), bytes);
            uint64_t byteSum = lanes[0] + lanes[1];
            _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), prefix);
            uint64_t prefixSum = lanes[0] + lanes[1];
            uint32_t words[4];
            _mm_storeu_si128(reinterpret_cast<__m128i*>(words), weighted);
            uint64_t weightedSum = uint64_t(words[0]) + words[1] + words[2] + words[3];
            b = uint32_t((b + uint64_t(chunks) * 16u * a + 16u * prefixSum + weightedSum) % 65521u);
            a = uint32_t((a + byteSum) % 65521u);
            i = chunks * 16;
        }
#endif
        for (; i < n; ++i)
        {
            a += data[i];
            b += a;
        }
        data += n;
        a %= 65521u;
        b %= 65521u;
    }
    return (b << 16) | a;
}

CZReader::CZReader(CInputStream* source)
    : CInputStream(g_EmptyMimeType), m_Source(source), m_Inflater(source, 32768), m_Ok(true),
      m_Error(nullptr), m_Adler(1), m_TrailerChecked(false)
{
    unsigned char cmf = 0, flg = 0;
    if (m_Source)
    {
        m_Source->Read(&cmf, 1);
        m_Source->Read(&flg, 1);
    }
    if ((cmf * 256 + flg) % 31 != 0)
        m_Error = "Unable to load. zlib header check failed";
    if (flg & 0x20)
        m_Error = "Unable to load. Don't know how to unpack when the dict flag is set";
    if ((cmf & 0x0F) != 8)
        m_Error = "Unable to load. Unknown zlib compression method";
    if (m_Error)
        m_Ok = false;
}

CZReader::~CZReader() = default;

bool CZReader::IsOpen()
{
    return m_Ok && m_Source && m_Source->IsOpen();
}

bool CZReader::IsEOF()
{
    return !m_Source || m_Source->IsEOF();
}

int32_t CZReader::Read(void* buffer, int32_t size)
{
    if (size < 1 || !m_Source)
        return 0;
    if (!buffer)
    {
        // Skipped bytes still count for the checksum.
        return SkipByReading(size, [this](unsigned char* sink, int32_t n) { return Read(sink, n); });
    }
    int32_t got = m_Inflater.Read(buffer, size);
    m_Adler = Adler32(m_Adler, static_cast<unsigned char*>(buffer), got);
    if (m_Inflater.IsEOF() && !m_TrailerChecked)
    {
        m_TrailerChecked = true;
        unsigned char trailer[4];
        if (m_Source->Read(trailer, 4) != 4)
            CBitReader::ThrowEndOfData();
        if (ReadBE32(trailer) != m_Adler)
            throw CException(TEXT_DATA_CHECK);
    }
    return got;
}

CRLEDecoder::CRLEDecoder(CInputStream* source, int elementSize)
    : CInputStream(g_EmptyMimeType), m_Source(source), m_ElementSize(elementSize)
{
}

bool CRLEDecoder::IsOpen()
{
    return m_Source && m_ElementSize > 0 && m_Source->IsOpen();
}

bool CRLEDecoder::IsEOF()
{
    return !m_Source || m_Source->IsEOF();
}

int32_t CRLEDecoder::GetSize()
{
    return m_Source ? m_Source->GetSize() : -1;
}

int32_t CRLEDecoder::Read(void* buffer, int32_t size)
{
    if (!m_Source || m_ElementSize <= 0 || size < m_ElementSize)
        return 0;
    unsigned char* out = static_cast<unsigned char*>(buffer);
    const int32_t elementSize = m_ElementSize;
    int32_t elements = size / elementSize;
    const int32_t total = elements * elementSize;
    while (elements > 0)
    {
        unsigned char header;
        if (m_Source->Read(&header, 1) != 1)
            throw CException(TEXT_RLE_END);
        int32_t run = (header & 0x7F) + 1;
        elements -= run;
        if (elements < 0)
            throw CException(TEXT_RLE_BOUNDS);
        if (header & 0x80)
        {
            if (m_Source->Read(out, elementSize) != elementSize)
                throw CException(TEXT_RLE_END);
            if (out)
            {
                for (int32_t i = 1; i < run; ++i)
                    memcpy(out + i * elementSize, out, size_t(elementSize));
                out += run * elementSize;
            }
        }
        else
        {
            int32_t bytes = run * elementSize;
            if (m_Source->Read(out, bytes) != bytes)
                throw CException(TEXT_RLE_END);
            if (out)
                out += bytes;
        }
    }
    return total;
}
} // namespace NKeth
