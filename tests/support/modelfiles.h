#pragma once
// Writers of the files the archive, model and LightWave tests (and fuzz seeds) feed in: resource
// archives, LightWave objects, and archive model files.
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace NModelFiles
{
typedef std::string TBytes;

inline void PutLE32(TBytes& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += char(v >> (8 * i));
}

inline void PutLE16(TBytes& out, uint32_t v)
{
    out += char(v);
    out += char(v >> 8);
}

inline void PutLEFloat(TBytes& out, float f)
{
    uint32_t v;
    memcpy(&v, &f, 4);
    PutLE32(out, v);
}

inline void PutBE32(TBytes& out, uint32_t v)
{
    for (int i = 3; i >= 0; --i)
        out += char(v >> (8 * i));
}

inline void PutBE16(TBytes& out, uint32_t v)
{
    out += char(v >> 8);
    out += char(v);
}

inline void PutBEFloat(TBytes& out, float f)
{
    uint32_t v;
    memcpy(&v, &f, 4);
    PutBE32(out, v);
}

// A resource archive: count, entries (size, name length, name, zero), then the contents.
inline TBytes Archive(const std::vector<std::pair<std::string, TBytes>>& entries)
{
    TBytes out;
    PutLE32(out, uint32_t(entries.size()));
    for (const auto& e : entries)
    {
        PutLE32(out, uint32_t(e.second.size()));
        PutLE32(out, uint32_t(e.first.size()));
        out += e.first;
        out += '\0';
    }
    for (const auto& e : entries)
        out += e.second;
    return out;
}

// LightWave chunks and the FORM around them.
inline TBytes Chunk(const char* id, const TBytes& data)
{
    TBytes out(id, 4);
    PutBE32(out, uint32_t(data.size()));
    out += data;
    if (data.size() % 2)
        out += '\0';
    return out;
}

inline TBytes Form(const TBytes& chunks)
{
    TBytes out("FORM", 4);
    PutBE32(out, uint32_t(chunks.size() + 4));
    out += "LWO2";
    out += chunks;
    return out;
}

// A zero-terminated string padded to even length.
inline TBytes PaddedString(const std::string& text)
{
    TBytes out = text;
    out += '\0';
    if (out.size() % 2)
        out += '\0';
    return out;
}

inline void PutVX(TBytes& out, uint32_t index)
{
    if (index < 0xFF00)
        PutBE16(out, index);
    else
    {
        out += char(0xFF);
        out += char(index >> 16);
        out += char(index >> 8);
        out += char(index);
    }
}

struct SPoint
{
    float x, y, z;
};

inline TBytes Points(const std::vector<SPoint>& points)
{
    TBytes data;
    for (const SPoint& p : points)
    {
        PutBEFloat(data, p.x);
        PutBEFloat(data, p.y);
        PutBEFloat(data, p.z);
    }
    return Chunk("PNTS", data);
}

inline TBytes Polygons(const std::vector<std::vector<uint32_t>>& polygons, uint32_t flags = 0)
{
    TBytes data = "FACE";
    for (const auto& polygon : polygons)
    {
        PutBE16(data, flags | uint32_t(polygon.size()));
        for (uint32_t index : polygon)
            PutVX(data, index);
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
    {
        PutVX(data, pt.first);
        PutBE16(data, pt.second);
    }
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

inline TBytes TexCoordMap(const std::vector<SUV>& entries, const std::string& name = "uv")
{
    TBytes data = "TXUV";
    PutBE16(data, 2);
    data += PaddedString(name);
    for (const SUV& e : entries)
    {
        PutVX(data, e.point);
        PutBEFloat(data, e.u);
        PutBEFloat(data, e.v);
    }
    return Chunk("VMAP", data);
}

struct SPolygonUV
{
    uint32_t point, polygon;
    float u, v;
};

inline TBytes PolygonTexCoordMap(const std::vector<SPolygonUV>& entries)
{
    TBytes data = "TXUV";
    PutBE16(data, 2);
    data += PaddedString("uv");
    for (const SPolygonUV& e : entries)
    {
        PutVX(data, e.point);
        PutVX(data, e.polygon);
        PutBEFloat(data, e.u);
        PutBEFloat(data, e.v);
    }
    return Chunk("VMAD", data);
}

// An archive model file: header, vertices of S sets, draw records and 16-bit indices.
struct SModelFile
{
    uint16_t version = 0x0401;
    uint32_t sets = 1;
    uint32_t vertexCount = 3;
    // Overrides of the counts in the header; the records written stay as given.
    int64_t recordCountField = -1, indexCountField = -1;
    std::vector<std::pair<uint32_t, uint32_t>> records = {{4, 0}}; // type, first index
    std::vector<uint16_t> indices = {0, 1, 2};
};

inline TBytes ModelFile(const SModelFile& m)
{
    TBytes out;
    PutLE16(out, m.version);
    out += TBytes(16, '\0');
    PutLE32(out, m.vertexCount);
    PutLE32(out, m.recordCountField >= 0 ? uint32_t(m.recordCountField) : uint32_t(m.records.size()));
    PutLE32(out, m.indexCountField >= 0 ? uint32_t(m.indexCountField) : uint32_t(m.indices.size()));
    out += TBytes(4 + 36, '\0');
    PutLE32(out, m.sets);
    out += TBytes(12, '\0');
    const int floats = m.sets <= 1 ? 8 : m.sets == 2 ? 10 : 12;
    for (uint32_t v = 0; v < m.vertexCount; ++v)
        for (int f = 0; f < floats; ++f)
            PutLEFloat(out, float(v * 100 + f));
    for (const auto& r : m.records)
    {
        PutLE32(out, r.first);
        out += TBytes(12, '\0');
        PutLE32(out, r.second);
        out += TBytes(4, '\0');
    }
    for (uint16_t i : m.indices)
        PutLE16(out, i);
    return out;
}

} // namespace NModelFiles
