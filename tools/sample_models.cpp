#include "sample_assets.h"

#include <cmath>
#include <cstring>

using namespace NContent;

namespace NSample
{
namespace
{
const float PI = 3.14159265f;

struct SVertex
{
    float p[3], n[3], uv[2];
};

std::vector<SVertex> SampleSurface(int columns, int rows, const TSurface& f)
{
    std::vector<SVertex> vertices;
    const float e = 1e-3f;
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= columns; ++i)
        {
            SVertex vertex;
            const float u = float(i) / float(columns), v = float(j) / float(rows);
            f(u, v, vertex.p);
            float pu[3], pv[3], du[3], dv[3];
            f(u + e, v, pu);
            f(u, v + e, pv);
            for (int c = 0; c < 3; ++c)
                du[c] = pu[c] - vertex.p[c], dv[c] = pv[c] - vertex.p[c];
            float n[3] = {du[1] * dv[2] - du[2] * dv[1], du[2] * dv[0] - du[0] * dv[2],
                          du[0] * dv[1] - du[1] * dv[0]};
            float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            if (length < 1e-9f) // at a pole the normal points away from the centre
            {
                memcpy(n, vertex.p, sizeof n);
                length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
                if (length < 1e-9f)
                    n[1] = length = 1;
            }
            for (int c = 0; c < 3; ++c)
                vertex.n[c] = n[c] / length;
            vertex.uv[0] = u;
            vertex.uv[1] = v;
            vertices.push_back(vertex);
        }
    return vertices;
}
} // namespace

SModelFile GridModel(int columns, int rows, const TSurface& f, bool strips, uint32_t sets)
{
    SModelFile model;
    model.m_TexCoordSets = sets;
    for (const SVertex& vertex : SampleSurface(columns, rows, f))
    {
        model.m_Vertices.insert(model.m_Vertices.end(), vertex.p, vertex.p + 3);
        model.m_Vertices.insert(model.m_Vertices.end(), vertex.n, vertex.n + 3);
        for (uint32_t s = 0; s < sets; ++s) // further sets tile the first one
            for (int c = 0; c < 2; ++c)
                model.m_Vertices.push_back(vertex.uv[c] * float(s + 1));
    }
    const int w = columns + 1;
    model.m_Primitive = strips ? SModelFile::STRIPS : SModelFile::TRIANGLES;
    model.m_FirstIndices.clear();
    if (!strips)
        model.m_FirstIndices.push_back(0);
    for (int j = 0; j < rows; ++j)
    {
        if (strips)
        {
            model.m_FirstIndices.push_back(uint32_t(model.m_Indices.size()));
            for (int i = 0; i <= columns; ++i)
            {
                model.m_Indices.push_back(uint16_t((j + 1) * w + i));
                model.m_Indices.push_back(uint16_t(j * w + i));
            }
            continue;
        }
        for (int i = 0; i < columns; ++i)
        {
            const uint16_t a = uint16_t(j * w + i), b = uint16_t(a + 1), c = uint16_t(a + w),
                           d = uint16_t(c + 1);
            for (uint16_t index : {a, c, b, b, c, d})
                model.m_Indices.push_back(index);
        }
    }
    return model;
}

void Torus(float u, float v, float out[3])
{
    const float a = 2 * PI * u, b = 2 * PI * v, r = 3 + 1.2f * std::cos(b);
    out[0] = r * std::cos(a), out[1] = 1.2f * std::sin(b), out[2] = r * std::sin(a);
}

void Globe(float u, float v, float out[3])
{
    const float a = 2 * PI * u, b = PI * v;
    const float r = 4 + 0.4f * std::sin(6 * a) * std::sin(b) * std::sin(b);
    out[0] = r * std::sin(b) * std::cos(a), out[1] = r * std::cos(b), out[2] = r * std::sin(b) * std::sin(a);
}

void Star(float u, float v, float out[3])
{
    const float a = 2 * PI * u, r = 2.5f + 1.5f * std::cos(5 * a) * (1 - 0.5f * std::fabs(2 * v - 1));
    out[0] = r * std::cos(a), out[1] = 6 * v - 3, out[2] = r * std::sin(a);
}

void Vase(float u, float v, float out[3])
{
    const float a = 2 * PI * u, r = 1.5f + 1.2f * std::sin(PI * v * 1.5f) + 0.3f * std::cos(8 * PI * v);
    out[0] = r * std::cos(a), out[1] = 8 * v - 4, out[2] = r * std::sin(a);
}

void Spring(float u, float v, float out[3])
{
    const float a = 6 * PI * u, b = 2 * PI * v;
    const float r = 3 + 0.6f * std::cos(b);
    out[0] = r * std::cos(a), out[1] = 6 * u - 3 + 0.6f * std::sin(b), out[2] = r * std::sin(a);
}

// A trefoil knot tube.
void Knot(float u, float v, float out[3])
{
    const float t = 2 * PI * u, b = 2 * PI * v;
    float c[3] = {std::sin(t) + 2 * std::sin(2 * t), std::cos(t) - 2 * std::cos(2 * t), -std::sin(3 * t)};
    const float e = 1e-3f;
    const float t2 = t + e;
    float d[3] = {std::sin(t2) + 2 * std::sin(2 * t2) - c[0], std::cos(t2) - 2 * std::cos(2 * t2) - c[1],
                  -std::sin(3 * t2) - c[2]};
    // A frame around the curve from its tangent and the fixed z axis.
    float n1[3] = {d[1], -d[0], 0};
    float l = std::sqrt(n1[0] * n1[0] + n1[1] * n1[1]) + 1e-9f;
    n1[0] /= l, n1[1] /= l;
    float n2[3] = {d[1] * n1[2] - d[2] * n1[1], d[2] * n1[0] - d[0] * n1[2], d[0] * n1[1] - d[1] * n1[0]};
    l = std::sqrt(n2[0] * n2[0] + n2[1] * n2[1] + n2[2] * n2[2]) + 1e-9f;
    for (int k = 0; k < 3; ++k)
        out[k] = 1.3f * c[k] + 0.45f * (std::cos(b) * n1[k] + std::sin(b) * n2[k] / l);
}

// Points are shared across the seam; the corners on its far side get their u (or v) of 1
// through per-polygon entries.
SLightWaveObject GridObject(int columns, int rows, bool closedV, const TSurface& f,
                            const std::vector<std::string>& surfaces)
{
    SLightWaveObject object;
    object.m_Surfaces = surfaces;
    const int pointRows = closedV ? rows : rows + 1;
    for (int j = 0; j < pointRows; ++j)
        for (int i = 0; i < columns; ++i)
        {
            float p[3];
            const float u = float(i) / float(columns), v = float(j) / float(rows);
            f(u, v, p);
            object.m_Points.insert(object.m_Points.end(), p, p + 3);
            object.m_PointUVs.push_back(u);
            object.m_PointUVs.push_back(v);
        }
    auto point = [&](int i, int j) { return uint32_t((j % pointRows) * columns + i % columns); };
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i)
        {
            const uint32_t surface = uint32_t((i * int(surfaces.size())) / columns);
            const uint32_t a = point(i, j), b = point(i + 1, j), c = point(i, j + 1), d = point(i + 1, j + 1);
            const uint32_t first = uint32_t(object.m_Triangles.size());
            object.m_Triangles.push_back({{a, b, c}, surface});
            object.m_Triangles.push_back({{b, d, c}, surface});
            for (uint32_t t = first; t < first + 2; ++t)
                for (uint32_t p : object.m_Triangles[t].m_Points)
                {
                    const bool wrapsU = i + 1 == columns && (p == b || p == d);
                    const bool wrapsV = closedV && j + 1 == rows && (p == c || p == d);
                    if (!wrapsU && !wrapsV)
                        continue;
                    const float u = wrapsU ? 1.0f : object.m_PointUVs[p * 2];
                    const float v = wrapsV ? 1.0f : object.m_PointUVs[p * 2 + 1];
                    object.m_CornerUVs.push_back({p, t, u, v});
                }
        }
    return object;
}

// The seam corners take u = 1.
SLightWaveObject Crystal(int n)
{
    SLightWaveObject object;
    object.m_Surfaces = {"facet", "girdle"};
    auto add = [&](float x, float y, float z, float u, float v)
    {
        object.m_Points.insert(object.m_Points.end(), {x, y, z});
        object.m_PointUVs.insert(object.m_PointUVs.end(), {u, v});
    };
    add(0, 5, 0, 0.5f, 0);
    add(0, -3, 0, 0.5f, 1);
    for (int i = 0; i < n; ++i)
    {
        const float a = 2 * PI * float(i) / float(n), r = i % 2 ? 3.0f : 3.6f;
        add(r * std::cos(a), 0, r * std::sin(a), float(i) / float(n), 0.5f);
    }
    for (int i = 0; i < n; ++i)
    {
        const uint32_t p = uint32_t(2 + i), q = uint32_t(2 + (i + 1) % n);
        object.m_Triangles.push_back({{0, q, p}, 0});
        object.m_Triangles.push_back({{1, p, q}, 1});
        if (i + 1 == n)
            for (uint32_t t : {uint32_t(2 * i), uint32_t(2 * i + 1)})
                object.m_CornerUVs.push_back({q, t, 1.0f, 0.5f});
    }
    return object;
}
} // namespace NSample
