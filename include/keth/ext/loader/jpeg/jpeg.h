#pragma once
#include "keth/ext/compr/deflate.h"
#include "keth/func/byteorder.h"
#include "keth/func/image.h"
#include "keth/func/stream.h"

#include <cstdint>
#include <vector>

namespace NKeth
{
// The file as the JPEG decoder reads it: raw bytes for the marker segments, and the
// entropy-coded data of a scan with the stuffed zero after every 0xFF removed. A scan ends at
// the next marker, whose code is kept in m_Marker for the marker loop; past it (or past the
// end of the file) the scan reads as zero bytes, counted in m_Padding.
class CJPEGScanReader : public CInputStream
{
public:
    explicit CJPEGScanReader(CInputStream* source);

    bool IsOpen() override;
    bool IsEOF() override;
    // Offset of the next raw byte from where reading started.
    int32_t GetPosition() override;
    // Scan bytes only: stops at a marker or at the end of the file.
    int32_t Read(void* buffer, int32_t size) override;

    // The next raw byte, or -1 at the end of the file.
    int ReadRawByte() { return m_BufferPos < m_BufferEnd ? m_Buffer[m_BufferPos++] : Refill(); }
    // Copies (or skips, with a null buffer) size raw bytes; false when the file ends first.
    bool ReadRaw(void* buffer, int32_t size);
    // Starts a scan: forgets a previous marker and the padding count.
    void BeginScan();
    // The next byte of the scan, 0 once the scan data has ended.
    uint32_t NextScanByte()
    {
        if (m_BufferPos < m_BufferEnd && m_Buffer[m_BufferPos] != 0xFF && !AtScanEnd())
            return m_Buffer[m_BufferPos++];
        int byte = NextDataByte();
        if (byte >= 0)
            return uint32_t(byte);
        ++m_Padding;
        return 0;
    }
    bool AtScanEnd() const { return m_Marker != 0 || m_Ended; }
    // Up to count (at most 7) scan bytes at once, most significant first, when the buffer holds
    // 8 and none of them is 0xFF; false otherwise, taking nothing.
    bool TakeScanBytes(int count, uint64_t& bytes)
    {
        if (m_BufferEnd - m_BufferPos < 8 || AtScanEnd())
            return false;
        const unsigned char* at = m_Buffer + m_BufferPos;
        uint64_t word = uint64_t(ReadBE32(at)) << 32 | ReadBE32(at + 4);
        // A byte of 0xFF is the only one whose complement is zero.
        uint64_t inverse = ~word;
        if ((inverse - 0x0101010101010101ull) & ~inverse & 0x8080808080808080ull)
            return false;
        m_BufferPos += count;
        bytes = word & ~(~uint64_t(0) >> (8 * count));
        return true;
    }

    CInputStream* m_Source;
    // Code of the marker that ended the scan data, 0 while inside it.
    int32_t m_Marker;
    // Zero bytes handed out after the scan data ended.
    int32_t m_Padding;
    bool m_Ended;

private:
    // Reads the next block of the source and returns its first byte, or -1 at the end.
    int Refill();
    // The next unstuffed byte, or -1 when the scan data has ended.
    int NextDataByte();

    static const int BUFFER_SIZE = 16384;
    // Bytes of the source before m_Buffer.
    int32_t m_Consumed;
    int32_t m_BufferPos;
    int32_t m_BufferEnd;
    unsigned char m_Buffer[BUFFER_SIZE];
};

// Baseline JPEG (8-bit samples, Huffman coding, one grey or three colour components in one
// scan) into L8 or YCbCr8 images. One object serves every file: tables defined by one file
// stay for the next.
class CJPEGFormat : public CImageFormat
{
public:
    class CComponent
    {
    public:
        int32_t m_Id;
        // H in the upper four bits, V in the lower.
        int32_t m_Sampling;
        int32_t m_QuantTable;
        // Pixels per sample, across and down.
        int32_t m_ScaleX;
        int32_t m_ScaleY;
    };

    CJPEGFormat();

    bool CanLoad(const CMimeType& type) override;
    bool Load(CInputStream& in, CImage& image) override;

    // DC tables 0 ... 3, then AC tables 0 ... 3; only the entry lists are used.
    CHuffmanAlphabet m_Huffman[8];
    CComponent m_Components[3];
    int32_t m_ComponentCount;
    // In the zigzag order of the file.
    float m_Quant[4][64];
    int32_t m_Width;
    int32_t m_Height;
    int32_t m_McuCols;
    int32_t m_McuRows;
    int32_t m_McuCount;
    uint8_t m_Block[64];
    int32_t m_DCPred[3];
    // Decodes with the sample-by-sample transform and block-by-block storing, as targets
    // without vector units would; the output is the same either way.
    bool m_Plain;

private:
    class CBits;

    void ReadFrame(const uint8_t* data, int size);
    void ReadQuantTables(const uint8_t* data, int size);
    void ReadHuffmanTables(const uint8_t* data, int size);
    void ReadScan(const uint8_t* data, int size, CJPEGScanReader& reader, CImage& image);
    int DecodeSymbol(CBits& bits, int table);
    // Length << 8 | symbol of a code longer than FAST_BITS at the top of bits.
    int DecodeLongCode(uint64_t bits, int table) const;
    // Decodes one block and writes its samples to out, rows pitch apart.
    void DecodeBlock(CBits& bits, int component, int dcTable, int acTable, uint8_t* out, int32_t pitch);
    void StoreBlock(CImage& image, int component, int x0, int y0);
    // Copies the decoded rows of one MCU row into the image, repeating subsampled samples.
    void StoreMcuRow(CImage& image, int mcuRow);

    // Decoding tables derived from m_Huffman: codes of up to FAST_BITS bits by one lookup,
    // longer ones by their canonical ranges.
    static const int FAST_BITS = 9;
    struct SHuffmanLookup
    {
        // Length << 8 | symbol, 0 when the bits start a longer code.
        uint16_t m_Fast[1 << FAST_BITS];
        // Largest code of each length, -1 for none.
        int32_t m_MaxCode[17];
        // Index in m_Symbols of a code of each length is the code plus this.
        int32_t m_Offset[17];
        uint8_t m_Symbols[256];
    };
    // An AC code and its value bits together within FAST_BITS: the whole coefficient by one
    // lookup; m_Value 0 is the end of the block (m_Run 0) or sixteen zeros (m_Run 15).
    // m_Length 0 marks the others.
    struct SFastCoefficient
    {
        int16_t m_Value;
        uint8_t m_Run;
        uint8_t m_Length;
    };
    void BuildLookup(int table);

    SHuffmanLookup m_Lookup[8];
    SFastCoefficient m_FastAC[4][1 << FAST_BITS];
    bool m_QuantDefined[4];
    // One MCU row of each component's samples, m_PlanePitch[c] bytes a row.
    std::vector<uint8_t> m_Planes[3];
    int32_t m_PlanePitch[3];
    uint8_t m_Segment[65536];
};
} // namespace NKeth
