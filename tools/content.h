#pragma once
// Writers of the files the system reads that need no outside encoder: resource archives come
// from the pack command; this adds archive model files, LightWave objects, DXT3/DXT5 DDS
// textures and TGA images (raw and run-length).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace NContent
{
typedef std::string TBytes;

// An image of 8-bit RGBA texels, rows from the top.
struct SPixels
{
    int m_Width = 0;
    int m_Height = 0;
    std::vector<uint8_t> m_Data;

    SPixels() = default;
    SPixels(int width, int height)
        : m_Width(width), m_Height(height), m_Data(size_t(width) * size_t(height) * 4)
    {
    }
    uint8_t* At(int x, int y) { return &m_Data[(size_t(y) * size_t(m_Width) + size_t(x)) * 4]; }
    const uint8_t* At(int x, int y) const { return &m_Data[(size_t(y) * size_t(m_Width) + size_t(x)) * 4]; }
};

// Archive model file: vertices of 8, 10 or 12 floats (position, normal, one to three texture
// coordinate pairs), draw records and 16-bit indices. Primitive 4 is a triangle list, 5 strips
// (each record runs to the next one's first index).
struct SModelFile
{
    static constexpr uint32_t TRIANGLES = 4;
    static constexpr uint32_t STRIPS = 5;

    uint32_t m_TexCoordSets = 1;
    std::vector<float> m_Vertices;
    uint32_t m_Primitive = TRIANGLES;
    std::vector<uint32_t> m_FirstIndices = {0};
    std::vector<uint16_t> m_Indices;

    int FloatsPerVertex() const { return 6 + 2 * int(m_TexCoordSets); }
};
TBytes WriteModelFile(const SModelFile& model);

// LightWave object of triangles: one point list, surfaces by name, texture coordinates per
// point (VMAP) and per polygon corner where they differ (VMAD).
struct SLightWaveObject
{
    struct STriangle
    {
        uint32_t m_Points[3];
        uint32_t m_Surface;
    };
    struct SCornerUV
    {
        uint32_t m_Point, m_Polygon;
        float m_U, m_V;
    };
    std::vector<std::string> m_Surfaces;
    std::vector<float> m_SurfaceColours; // r, g, b per surface; light grey when empty
    std::vector<float> m_Points;         // x, y, z per point
    std::vector<float> m_PointUVs;       // u, v per point
    std::vector<STriangle> m_Triangles;
    std::vector<SCornerUV> m_CornerUVs;
};
TBytes WriteLightWaveObject(const SLightWaveObject& object);

// DXT3 (explicit 4-bit alpha) or DXT5 (interpolated alpha); sides must be multiples of 4.
TBytes WriteDDS(const SPixels& pixels, bool dxt5);
// Uncompressed (type 2) or run-length (type 10), 24 or 32 bits, rows stored from the bottom.
TBytes WriteTGA(const SPixels& pixels, bool runLength, bool alpha);
} // namespace NContent
