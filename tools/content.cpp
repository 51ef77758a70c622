#include "content.h"

#include <algorithm>
#include <cstring>

namespace NContent
{
namespace
{
void PutLE16(TBytes& out, uint32_t v)
{
    out += char(v);
    out += char(v >> 8);
}

void PutLE32(TBytes& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += char(v >> (8 * i));
}

void PutLEFloat(TBytes& out, float f)
{
    uint32_t v;
    memcpy(&v, &f, 4);
    PutLE32(out, v);
}

void PutBE16(TBytes& out, uint32_t v)
{
    out += char(v >> 8);
    out += char(v);
}

void PutBE32(TBytes& out, uint32_t v)
{
    for (int i = 3; i >= 0; --i)
        out += char(v >> (8 * i));
}

void PutBEFloat(TBytes& out, float f)
{
    uint32_t v;
    memcpy(&v, &f, 4);
    PutBE32(out, v);
}

// Point and polygon numbers: two bytes below 0xFF00, else 0xFF and three bytes.
void PutVX(TBytes& out, uint32_t index)
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

TBytes Padded(const std::string& text)
{
    TBytes out = text;
    out += '\0';
    if (out.size() % 2)
        out += '\0';
    return out;
}

// Chunks have 32-bit sizes, the sub-chunks of a surface 16-bit ones; both are padded to even.
TBytes SizedChunk(const char* id, const TBytes& data, bool shortSize)
{
    TBytes out(id, 4);
    if (shortSize)
        PutBE16(out, uint32_t(data.size()));
    else
        PutBE32(out, uint32_t(data.size()));
    out += data;
    if (data.size() % 2)
        out += '\0';
    return out;
}

TBytes Chunk(const char* id, const TBytes& data)
{
    return SizedChunk(id, data, false);
}
TBytes SubChunk(const char* id, const TBytes& data)
{
    return SizedChunk(id, data, true);
}

uint16_t To565(const uint8_t* c)
{
    return uint16_t((c[0] >> 3) << 11 | (c[1] >> 2) << 5 | (c[2] >> 3));
}

void From565(uint16_t v, int rgb[3])
{
    rgb[0] = (v >> 11 & 31) * 255 / 31;
    rgb[1] = (v >> 5 & 63) * 255 / 63;
    rgb[2] = (v & 31) * 255 / 31;
}

// Four-colour block: endpoints at the ends of the block's colour box, each texel the nearest of
// the four interpolated colours. The first endpoint is kept the larger one.
void ColourBlock(TBytes& out, const uint8_t texels[16][4])
{
    uint8_t low[3] = {255, 255, 255}, high[3] = {0, 0, 0};
    for (int i = 0; i < 16; ++i)
        for (int c = 0; c < 3; ++c)
        {
            low[c] = std::min(low[c], texels[i][c]);
            high[c] = std::max(high[c], texels[i][c]);
        }
    uint16_t c0 = To565(high), c1 = To565(low);
    if (c0 < c1)
        std::swap(c0, c1);
    int palette[4][3];
    From565(c0, palette[0]);
    From565(c1, palette[1]);
    for (int c = 0; c < 3; ++c)
    {
        palette[2][c] = (2 * palette[0][c] + palette[1][c]) / 3;
        palette[3][c] = (palette[0][c] + 2 * palette[1][c]) / 3;
    }
    uint32_t bits = 0;
    if (c0 != c1)
        for (int i = 0; i < 16; ++i)
        {
            int best = 0, bestDistance = 1 << 30;
            for (int p = 0; p < 4; ++p)
            {
                int d = 0;
                for (int c = 0; c < 3; ++c)
                    d += (palette[p][c] - texels[i][c]) * (palette[p][c] - texels[i][c]);
                if (d < bestDistance)
                {
                    bestDistance = d;
                    best = p;
                }
            }
            bits |= uint32_t(best) << (2 * i);
        }
    PutLE16(out, c0);
    PutLE16(out, c1);
    PutLE32(out, bits);
}

void ExplicitAlphaBlock(TBytes& out, const uint8_t texels[16][4])
{
    for (int i = 0; i < 16; i += 2)
        out += char((texels[i][3] * 15 + 127) / 255 | ((texels[i + 1][3] * 15 + 127) / 255) << 4);
}

// Eight-value alpha block between the block's extremes (first endpoint the larger).
void InterpolatedAlphaBlock(TBytes& out, const uint8_t texels[16][4])
{
    int a0 = 0, a1 = 255;
    for (int i = 0; i < 16; ++i)
    {
        a0 = std::max(a0, int(texels[i][3]));
        a1 = std::min(a1, int(texels[i][3]));
    }
    if (a0 == a1)
        a1 = a0 > 0 ? a0 - 1 : 0, a0 = std::max(a0, a1 + 1);
    int values[8] = {a0, a1};
    for (int k = 1; k < 7; ++k)
        values[k + 1] = ((7 - k) * a0 + k * a1) / 7;
    uint64_t bits = 0;
    for (int i = 0; i < 16; ++i)
    {
        int best = 0;
        for (int k = 1; k < 8; ++k)
            if (std::abs(values[k] - texels[i][3]) < std::abs(values[best] - texels[i][3]))
                best = k;
        bits |= uint64_t(best) << (3 * i);
    }
    out += char(a0);
    out += char(a1);
    for (int i = 0; i < 6; ++i)
        out += char(bits >> (8 * i));
}
} // namespace

TBytes WriteModelFile(const SModelFile& model)
{
    const uint32_t vertexCount = uint32_t(model.m_Vertices.size() / size_t(model.FloatsPerVertex()));
    TBytes out;
    PutLE16(out, 0x0401);
    out += TBytes(16, '\0');
    PutLE32(out, vertexCount);
    PutLE32(out, uint32_t(model.m_FirstIndices.size()));
    PutLE32(out, uint32_t(model.m_Indices.size()));
    out += TBytes(40, '\0');
    PutLE32(out, model.m_TexCoordSets);
    out += TBytes(12, '\0');
    for (float f : model.m_Vertices)
        PutLEFloat(out, f);
    for (uint32_t first : model.m_FirstIndices)
    {
        PutLE32(out, model.m_Primitive);
        out += TBytes(12, '\0');
        PutLE32(out, first);
        out += TBytes(4, '\0');
    }
    for (uint16_t index : model.m_Indices)
        PutLE16(out, index);
    return out;
}

TBytes WriteLightWaveObject(const SLightWaveObject& object)
{
    TBytes tags;
    for (const std::string& name : object.m_Surfaces)
        tags += Padded(name);
    TBytes body = Chunk("TAGS", tags);
    TBytes layer;
    PutBE16(layer, 0);
    PutBE16(layer, 0);
    for (int i = 0; i < 3; ++i)
        PutBEFloat(layer, 0);
    layer += Padded("");
    body += Chunk("LAYR", layer);

    TBytes points;
    for (float f : object.m_Points)
        PutBEFloat(points, f);
    body += Chunk("PNTS", points);

    if (!object.m_PointUVs.empty())
    {
        TBytes vmap = "TXUV";
        PutBE16(vmap, 2);
        vmap += Padded("uv");
        for (size_t p = 0; p * 2 + 1 < object.m_PointUVs.size(); ++p)
        {
            PutVX(vmap, uint32_t(p));
            PutBEFloat(vmap, object.m_PointUVs[p * 2]);
            PutBEFloat(vmap, object.m_PointUVs[p * 2 + 1]);
        }
        body += Chunk("VMAP", vmap);
    }

    TBytes polygons = "FACE", ptag = "SURF";
    for (size_t t = 0; t < object.m_Triangles.size(); ++t)
    {
        PutBE16(polygons, 3);
        for (uint32_t p : object.m_Triangles[t].m_Points)
            PutVX(polygons, p);
        PutVX(ptag, uint32_t(t));
        PutBE16(ptag, object.m_Triangles[t].m_Surface);
    }
    body += Chunk("POLS", polygons);
    body += Chunk("PTAG", ptag);

    if (!object.m_CornerUVs.empty())
    {
        TBytes vmad = "TXUV";
        PutBE16(vmad, 2);
        vmad += Padded("uv");
        for (const SLightWaveObject::SCornerUV& corner : object.m_CornerUVs)
        {
            PutVX(vmad, corner.m_Point);
            PutVX(vmad, corner.m_Polygon);
            PutBEFloat(vmad, corner.m_U);
            PutBEFloat(vmad, corner.m_V);
        }
        body += Chunk("VMAD", vmad);
    }

    for (size_t s = 0; s < object.m_Surfaces.size(); ++s)
    {
        const std::string& name = object.m_Surfaces[s];
        TBytes colour;
        for (size_t i = 0; i < 3; ++i)
            PutBEFloat(colour, object.m_SurfaceColours.size() >= 3 * s + 3
                                   ? object.m_SurfaceColours[3 * s + i]
                                   : 0.8f);
        PutVX(colour, 0);
        body += Chunk("SURF", Padded(name) + Padded("") + SubChunk("COLR", colour));
    }

    TBytes out("FORM", 4);
    PutBE32(out, uint32_t(body.size() + 4));
    out += "LWO2";
    return out + body;
}

TBytes WriteDDS(const SPixels& pixels, bool dxt5)
{
    const int blocksX = pixels.m_Width / 4, blocksY = pixels.m_Height / 4;
    TBytes out("DDS ", 4);
    TBytes header;
    PutLE32(header, 124);
    PutLE32(header, 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000); // caps, height, width, format, linear size
    PutLE32(header, uint32_t(pixels.m_Height));
    PutLE32(header, uint32_t(pixels.m_Width));
    PutLE32(header, uint32_t(blocksX * blocksY * 16));
    PutLE32(header, 0); // depth
    PutLE32(header, 0); // mipmap levels
    header += TBytes(44, '\0');
    PutLE32(header, 32);  // pixel format size
    PutLE32(header, 0x4); // four-character code
    header += dxt5 ? "DXT5" : "DXT3";
    header += TBytes(20, '\0');
    PutLE32(header, 0x1000); // texture
    header += TBytes(16, '\0');
    out += header;

    for (int by = 0; by < blocksY; ++by)
        for (int bx = 0; bx < blocksX; ++bx)
        {
            uint8_t texels[16][4];
            for (int i = 0; i < 16; ++i)
                memcpy(texels[i], pixels.At(bx * 4 + i % 4, by * 4 + i / 4), 4);
            if (dxt5)
                InterpolatedAlphaBlock(out, texels);
            else
                ExplicitAlphaBlock(out, texels);
            ColourBlock(out, texels);
        }
    return out;
}

TBytes WriteTGA(const SPixels& pixels, bool runLength, bool alpha)
{
    TBytes out;
    out += char(0);                  // no identification field
    out += char(0);                  // no colour map
    out += char(runLength ? 10 : 2); // true colour
    out += TBytes(5, '\0');          // colour map fields
    PutLE16(out, 0);                 // x origin
    PutLE16(out, 0);                 // y origin
    PutLE16(out, uint32_t(pixels.m_Width));
    PutLE16(out, uint32_t(pixels.m_Height));
    out += char(alpha ? 32 : 24);
    out += char(alpha ? 8 : 0); // bottom-left origin, alpha bits
    auto texel = [&](int x, int y)
    {
        const uint8_t* p = pixels.At(x, pixels.m_Height - 1 - y);
        TBytes t;
        t += char(p[2]);
        t += char(p[1]);
        t += char(p[0]);
        if (alpha)
            t += char(p[3]);
        return t;
    };
    for (int y = 0; y < pixels.m_Height; ++y)
    {
        if (!runLength)
        {
            for (int x = 0; x < pixels.m_Width; ++x)
                out += texel(x, y);
            continue;
        }
        // Packets stay within a row: runs of equal texels, else raw stretches up to the next run.
        int x = 0;
        while (x < pixels.m_Width)
        {
            int run = 1;
            while (x + run < pixels.m_Width && run < 128 && texel(x + run, y) == texel(x, y))
                ++run;
            if (run > 1)
            {
                out += char(0x80 | (run - 1));
                out += texel(x, y);
                x += run;
                continue;
            }
            int raw = 1;
            while (x + raw < pixels.m_Width && raw < 128 &&
                   !(x + raw + 1 < pixels.m_Width && texel(x + raw, y) == texel(x + raw + 1, y)))
                ++raw;
            out += char(raw - 1);
            for (int i = 0; i < raw; ++i)
                out += texel(x + i, y);
            x += raw;
        }
    }
    return out;
}
} // namespace NContent
