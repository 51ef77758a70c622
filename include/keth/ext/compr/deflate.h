#pragma once
#include "keth/func/byteorder.h"
#include "keth/func/dynamicarray.h"
#include "keth/func/stream.h"

#include <cstdint>

namespace NKeth
{
// Bit fields from a byte stream, least significant bit first. Where the source holds its bytes
// in memory (Peek), they are taken ahead in whole words and the unused ones are given back by
// Release, so the source ends just after the last byte whose bits were used; other sources are
// read one byte at a time, never further than the bits asked for.
class CBitReader
{
public:
    explicit CBitReader(CInputStream* source)
        : m_Bits(0), m_Count(0), m_Start(nullptr), m_Next(nullptr), m_End(nullptr), m_Source(source)
    {
    }
    ~CBitReader() { Release(); }
    CBitReader(const CBitReader&) = delete;
    CBitReader& operator=(const CBitReader&) = delete;

    // Fills m_Bits until it holds at least n bits (n up to 56). Throws
    // "Unexpected end of compressed data" when the source runs dry first.
    void Need(int n)
    {
        if (m_Count < n)
            Fill(n);
    }

    // Takes whatever the bytes at hand give, up to 56 bits or more, without reading the source.
    void Refill()
    {
        if (m_End - m_Next >= 8)
        {
            m_Bits |= ReadLE64(m_Next) << m_Count;
            m_Next += (63 - m_Count) >> 3;
            m_Count |= 56;
        }
        else
            RefillTail();
    }

    unsigned GetBits(int n)
    {
        if (n <= 0)
            return 0;
        Need(n);
        unsigned value = unsigned(m_Bits & ((uint64_t(1) << n) - 1u));
        m_Bits >>= n;
        m_Count -= n;
        return value;
    }

    // Drops the bits of a partly used byte.
    void Align()
    {
        int n = m_Count & 7;
        m_Bits >>= n;
        m_Count -= n;
    }

    // Gives the whole bytes taken but not used back to the source and consumes the rest there.
    void Release();

    [[noreturn]] static void ThrowEndOfData();

    // Bits above m_Count may hold the next bytes of the source, or zeros.
    uint64_t m_Bits;
    int32_t m_Count;
    // The source's bytes in memory: m_Start ... m_Next are taken, m_Next ... m_End are not.
    const unsigned char* m_Start;
    const unsigned char* m_Next;
    const unsigned char* m_End;
    CInputStream* m_Source;

private:
    void Fill(int n);
    void RefillTail();
    void Commit();
};

// A canonical Huffman code (codes assigned by length, then by symbol, as DEFLATE and JPEG
// define them), decoded through a binary tree with a lookup table in front of it.
class CHuffmanAlphabet
{
public:
    class CEntry
    {
    public:
        int32_t symbol;
        uint32_t code;
        int32_t length;
    };

    static const int MAX_NODE_WORDS = 4096;
    static const int MAX_CODE_LENGTH = 16;
    // Codes up to this many bits are decoded with one table lookup.
    static const int TABLE_BITS = 10;

    CHuffmanAlphabet();

    void Clear();
    // Codes are assigned by Build; callers pass ~0u.
    void AddEntry(int symbol, int length, unsigned code = ~0u);
    // Sorts the entries by length and symbol, assigns the canonical codes (stored bit-reversed,
    // first bit on the wire in bit 0) and builds the tree. Throws "Invalid Huffman code lengths"
    // for an over-subscribed set, for an incomplete one unless allowIncomplete (DEFLATE allows
    // a single one-bit code, and distance sets with no codes at all), for lengths outside
    // 1 ... MAX_CODE_LENGTH, or when the tree would not fit m_Nodes.
    void Build(bool allowIncomplete = false);
    // Throws "Invalid Huffman code" when the bits reach a code that is not in the set. Bytes are
    // fetched from the source only while the code is known to be longer than the bits at hand.
    int Decode(CBitReader& bits) const
    {
        if (m_Nodes[0])
            return int(m_Nodes[1]);
        if (bits.m_Count < MAX_CODE_LENGTH)
            bits.Refill();
        int symbol;
        return FromTable(bits, symbol) ? symbol : DecodeSlow(bits);
    }

    // Takes a code of up to TABLE_BITS bits when the bits at hand hold all of it.
    bool FromTable(CBitReader& bits, int& symbol) const
    {
        uint32_t entry = m_Table[bits.m_Bits & ((1u << TABLE_BITS) - 1u)];
        int length = int(entry & 31u);
        if (length == 0 || length > bits.m_Count)
            return false;
        bits.m_Bits >>= length;
        bits.m_Count -= length;
        symbol = int(entry >> 5);
        return true;
    }

    // The entries, sorted and with their codes after Build.
    TDynamicArray<CEntry> m_Entries;
    // Three words per node: leaf flag, symbol or bit-0 child, bit-1 child (0: absent).
    uint32_t m_Nodes[MAX_NODE_WORDS];
    int32_t m_NextNode;
    // Indexed by the next TABLE_BITS bits: symbol << 5 | length; for codes longer than that,
    // the tree node their first TABLE_BITS bits lead to, << 5; 0 for absent codes.
    uint32_t m_Table[1 << TABLE_BITS];

private:
    [[noreturn]] static void ThrowInvalidCode();
    int DecodeSlow(CBitReader& bits) const;
};

// DEFLATE decoder as a pull stream: each Read decodes exactly the bytes asked for and keeps its
// place (also inside a match or a stored block) until the next Read.
class CDeflateReader : public CInputStream
{
public:
    enum EState
    {
        STATE_HEADER = 0,
        STATE_TABLES = 1,
        STATE_STORED = 2,
        STATE_DATA = 3,
        STATE_MATCH = 4,
        STATE_BLOCK_END = 5,
        STATE_END = 6
    };

    // The history window holds 2 * window bytes.
    CDeflateReader(CInputStream* source, int window);
    ~CDeflateReader() override;

    bool IsOpen() override;
    bool IsEOF() override;
    int32_t GetSize() override;
    // A null buffer decodes and drops the bytes.
    int32_t Read(void* buffer, int32_t size) override;

    CInputStream* m_Source;
    CBitReader m_BitReader;
    bool m_LastBlock;
    int32_t m_WindowSize;
    unsigned char* m_Window;
    int32_t m_WindowPos;
    int32_t m_State;
    CHuffmanAlphabet m_CodeLengths;
    CHuffmanAlphabet m_Literals;
    CHuffmanAlphabet m_Distances;
    int32_t m_Remaining;
    int32_t m_Distance;
    int32_t m_CopyPos;
    int32_t m_Size;
    // Bytes produced so far, saturating at the window size: no match may reach further back.
    int32_t m_Produced;
    // m_Literals and m_Distances hold the fixed codes, so another fixed block need not rebuild.
    bool m_FixedTables;

private:
    // Decodes symbols while the input holds a word ahead and every code is in the tables;
    // true when it left the block's data or filled the request.
    bool DecodeFast(unsigned char* out, int32_t& done, int32_t size);
    void ReadStoredHeader();
    void ReadTables();
    void LoadFixedTables();
};

// zlib wrapper: checks the two header bytes on construction and inflates the rest. A bad header
// makes IsOpen false and leaves its reason in m_Error; nothing is thrown for it. When a Read
// reaches the end of the compressed data, the Adler-32 trailer is read and verified
// ("Unable to load. zlib data check failed").
class CZReader : public CInputStream
{
public:
    explicit CZReader(CInputStream* source);
    ~CZReader() override;

    bool IsOpen() override;
    bool IsEOF() override;
    int32_t Read(void* buffer, int32_t size) override;

    CInputStream* m_Source;
    CDeflateReader m_Inflater;
    bool m_Ok;
    const char* m_Error;
    // Adler-32 of the bytes produced so far.
    uint32_t m_Adler;
    bool m_TrailerChecked;
};

uint32_t Adler32(uint32_t adler, const unsigned char* data, int32_t size);

// Run-length packets of fixed-size elements: a header byte h, then one element repeated
// (h & 0x7F) + 1 times when h & 0x80, or that many raw elements. A packet must end within the
// Read that starts it.
class CRLEDecoder : public CInputStream
{
public:
    CRLEDecoder(CInputStream* source, int elementSize);

    bool IsOpen() override;
    bool IsEOF() override;
    int32_t GetSize() override;
    // Decodes size / m_ElementSize whole elements and returns the bytes written.
    int32_t Read(void* buffer, int32_t size) override;

    CInputStream* m_Source;
    int32_t m_ElementSize;
};
} // namespace NKeth
