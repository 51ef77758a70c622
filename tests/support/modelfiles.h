#pragma once
// Builders of the files the archive, model and LightWave tests feed in: resource archives,
// archive model files (on the tools' writer) and the LightWave chunks of the parser's odd cases.
#include "content.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace NModelFiles
{
typedef std::string TBytes;

inline uint32_t Bits(float f)
{
    uint32_t v;
    memcpy(&v, &f, 4);
    return v;
}

inline TBytes LE(uint32_t v, int bytes = 4)
{
    TBytes out;
    for (int i = 0; i < bytes; ++i)
        out += char(v >> (8 * i));
    return out;
}

// LightWave numbers are big-endian.
inline TBytes BE(uint32_t v, int bytes = 4)
{
    TBytes out;
    for (int i = bytes - 1; i >= 0; --i)
        out += char(v >> (8 * i));
    return out;
}

// A resource archive: count, entries (size, name length, name, zero), then the contents.
inline TBytes Archive(const std::vector<std::pair<std::string, TBytes>>& entries)
{
    TBytes out = LE(uint32_t(entries.size())), contents;
    for (const auto& e : entries)
    {
        out += LE(uint32_t(e.second.size())) + LE(uint32_t(e.first.size())) + e.first + '\0';
        contents += e.second;
    }
    return out + contents;
}

// Archive model file header fields, for patching broken files.
constexpr size_t VERSION = 0, VERTICES = 18, RECORDS = 22, INDICES = 26, SETS = 70;

inline TBytes Patched(TBytes bytes, size_t at, uint32_t v)
{
    return bytes.replace(at, 4, LE(v));
}

// An archive model file of the tools' writer whose floats are v * 100 + f, so that each reads
// back as its place. More than three coordinate sets are written as three, the count patched.
inline TBytes ModelFile(uint32_t vertices = 3, std::vector<uint16_t> indices = {0, 1, 2},
                        uint32_t primitive = NContent::SModelFile::TRIANGLES,
                        std::vector<uint32_t> firsts = {0}, uint32_t sets = 1)
{
    NContent::SModelFile m;
    m.m_TexCoordSets = std::min(sets, 3u);
    for (uint32_t v = 0; v < vertices; ++v)
        for (int f = 0; f < m.FloatsPerVertex(); ++f)
            m.m_Vertices.push_back(float(v * 100 + uint32_t(f)));
    m.m_Primitive = primitive;
    m.m_FirstIndices = std::move(firsts);
    m.m_Indices = std::move(indices);
    return sets > 3 ? Patched(NContent::WriteModelFile(m), SETS, sets) : NContent::WriteModelFile(m);
}

// LightWave chunks, each padded to even length, and the FORM around them.
inline TBytes Chunk(const char* id, const TBytes& data)
{
    return TBytes(id, 4) + BE(uint32_t(data.size())) + data + TBytes(data.size() % 2, '\0');
}

inline TBytes Form(const TBytes& chunks)
{
    return "FORM" + BE(uint32_t(chunks.size() + 4)) + "LWO2" + chunks;
}

// A zero-terminated string padded to even length.
inline TBytes PaddedString(const std::string& text)
{
    return text + TBytes(2 - text.size() % 2, '\0');
}

// Point indices from 0xFF00 take four bytes, the first 0xFF.
inline TBytes VX(uint32_t index)
{
    return index < 0xFF00 ? BE(index, 2) : BE(index | 0xFF000000u);
}

typedef std::array<float, 3> TPoint;

inline TBytes Points(const std::vector<TPoint>& points)
{
    TBytes data;
    for (const TPoint& p : points)
        for (float f : p)
            data += BE(Bits(f));
    return Chunk("PNTS", data);
}

inline TBytes Polygons(const std::vector<std::vector<uint32_t>>& polygons, uint32_t flags = 0)
{
    TBytes data = "FACE";
    for (const auto& polygon : polygons)
    {
        data += BE(flags | uint32_t(polygon.size()), 2);
        for (uint32_t index : polygon)
            data += VX(index);
    }
    return Chunk("POLS", data);
}

inline TBytes Tags(const std::vector<std::string>& tags)
{
    TBytes data;
    for (const std::string& tag : tags)
        data += PaddedString(tag);
    return Chunk("TAGS", data);
}

inline TBytes PolygonTags(const std::vector<std::pair<uint32_t, uint32_t>>& polygonTags)
{
    TBytes data = "SURF";
    for (const auto& pt : polygonTags)
        data += VX(pt.first) + BE(pt.second, 2);
    return Chunk("PTAG", data);
}

inline TBytes Surface(const std::string& name, const TBytes& subChunks = TBytes())
{
    return Chunk("SURF", PaddedString(name) + PaddedString("") + subChunks);
}

struct SUV
{
    uint32_t point;
    float u, v;
};

inline TBytes TexCoordMap(const std::vector<SUV>& entries)
{
    TBytes data = "TXUV" + BE(2, 2) + PaddedString("uv");
    for (const SUV& e : entries)
        data += VX(e.point) + BE(Bits(e.u)) + BE(Bits(e.v));
    return Chunk("VMAP", data);
}
} // namespace NModelFiles
