#pragma once
#include "keth/func/image.h"
#include "keth/func/stream.h"

#include <cstdint>

namespace NKeth
{
// The data of consecutive IDAT chunks as one stream. Chunk CRCs are verified as the reader
// passes them.
class CPNGIDATReader : public CInputStream
{
public:
    // The source stands just behind the type of the first IDAT chunk.
    CPNGIDATReader(CInputStream* source, int firstChunkLength);

    bool IsOpen() override;
    bool IsEOF() override;
    // Follows on into the next chunk, which must be IDAT ("Invalid PNG file. IDAT chunks must").
    int32_t Read(void* buffer, int32_t size) override;
    // The current chunk's data that the source holds in memory.
    int32_t Peek(const unsigned char** data) override;
    // Skips what is left of the current chunk and checks its CRC.
    void FinishChunk();

    CInputStream* m_Source;
    bool m_SkipCRC;
    int32_t m_ChunkLeft;
    // Running CRC-32 of the current chunk's type and data.
    uint32_t m_Crc;

private:
    int32_t ReadData(unsigned char* buffer, int32_t size);
};

// Non-interlaced PNG images of 8 bits per sample: grey, RGB, grey with alpha, RGBA.
class CPNGFormat : public CImageFormat
{
public:
    bool CanLoad(const CMimeType& type) override;
    // False for a wrong signature or a file that ends before IEND; unsupported or broken
    // content throws its text.
    bool Load(CInputStream& in, CImage& image) override;
};

// CRC-32 of PNG chunks (and zip), continued from crc (0 to start).
uint32_t PNGCrc32(uint32_t crc, const unsigned char* data, int32_t size);
} // namespace NKeth
