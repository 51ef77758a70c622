// "vornscr-tool sample DIR": writes the sample show into DIR. Every asset is computed here from
// formulas of its own, and the output is the same on every run and every host.
#include "commands.h"
#include "content.h"

#include <jpeglib.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace NContent;
namespace fs = std::filesystem;

namespace
{
const float PI = 3.14159265f;

bool WriteFile(const fs::path& path, const TBytes& bytes)
{
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out.flush());
}

uint8_t Byte(float v)
{
    v = v < 0 ? 0 : v > 1 ? 1 : v;
    return uint8_t(v * 255.0f + 0.5f);
}

// An image from a function of the texel centre in 0..1, giving RGBA in 0..1.
SPixels Paint(int size, const std::function<void(float, float, float*)>& f)
{
    SPixels pixels(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
        {
            float rgba[4] = {0, 0, 0, 1};
            f((float(x) + 0.5f) / float(size), (float(y) + 0.5f) / float(size), rgba);
            for (int c = 0; c < 4; ++c)
                pixels.At(x, y)[c] = Byte(rgba[c]);
        }
    return pixels;
}

// ---------------------------------------------------------------------------------------------
// PNG and JPEG go through the system libraries; the show's readers are our own decoders.

void PngToMemory(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<TBytes*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void PngFlush(png_structp) {}

// colourType: PNG_COLOR_TYPE_GRAY, _RGB, _GRAY_ALPHA or _RGB_ALPHA, 8 bits a channel.
TBytes EncodePNG(const SPixels& pixels, int colourType)
{
    TBytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)))
    {
        png_destroy_write_struct(&png, &info);
        return TBytes();
    }
    png_set_write_fn(png, &out, PngToMemory, PngFlush);
    png_set_IHDR(png, info, png_uint_32(pixels.m_Width), png_uint_32(pixels.m_Height), 8, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const int channels = colourType == PNG_COLOR_TYPE_GRAY         ? 1
                         : colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                         : colourType == PNG_COLOR_TYPE_RGB        ? 3
                                                                   : 4;
    std::vector<png_byte> row(size_t(pixels.m_Width) * size_t(channels));
    for (int y = 0; y < pixels.m_Height; ++y)
    {
        for (int x = 0; x < pixels.m_Width; ++x)
        {
            const uint8_t* p = pixels.At(x, y);
            png_byte* o = &row[size_t(x) * size_t(channels)];
            const uint8_t grey = uint8_t((p[0] * 77 + p[1] * 150 + p[2] * 29) >> 8);
            switch (channels)
            {
                case 1:
                    o[0] = grey;
                    break;
                case 2:
                    o[0] = grey, o[1] = p[3];
                    break;
                case 3:
                    memcpy(o, p, 3);
                    break;
                default:
                    memcpy(o, p, 4);
                    break;
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// Baseline JPEG; with subsampled the chroma planes are halved both ways (4:2:0), else full (4:4:4).
TBytes EncodeJPEG(const SPixels& pixels, bool subsampled)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(pixels.m_Width);
    cinfo.image_height = JDIMENSION(pixels.m_Height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.optimize_coding = FALSE;
    cinfo.comp_info[0].h_samp_factor = subsampled ? 2 : 1;
    cinfo.comp_info[0].v_samp_factor = subsampled ? 2 : 1;
    for (int c = 1; c < 3; ++c)
        cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(pixels.m_Width) * 3);
    while (cinfo.next_scanline < cinfo.image_height)
    {
        for (int x = 0; x < pixels.m_Width; ++x)
            memcpy(&row[size_t(x) * 3], pixels.At(x, int(cinfo.next_scanline)), 3);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    TBytes out(reinterpret_cast<const char*>(buffer), size);
    free(buffer);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Shapes: parametric surfaces sampled on a grid of (columns + 1) x (rows + 1) vertices.

struct SVertex
{
    float p[3], n[3], uv[2];
};

typedef std::function<void(float u, float v, float out[3])> TSurface;

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

// An archive model of the grid, as a triangle list or one strip per row of cells.
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

// A LightWave object of a closed grid (wrapping in u, and in v when closedV): points shared across
// the seam, whose corners on the far side get their u (or v) of 1 through per-polygon entries.
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

// A double pyramid of n sides: facets above, girdle below; the seam corners take u = 1.
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

// ---------------------------------------------------------------------------------------------
// Images.

float Wave(float x)
{
    return 0.5f + 0.5f * std::sin(x);
}

SPixels Plasma(int size, float phase)
{
    return Paint(size,
                 [phase](float x, float y, float* c)
                 {
                     const float a =
                         Wave(10 * x + phase) + Wave(7 * y - phase) + Wave(9 * (x + y) + 2 * phase);
                     c[0] = Wave(a * 2.1f), c[1] = Wave(a * 2.1f + 2), c[2] = Wave(a * 2.1f + 4);
                     c[3] = 1;
                 });
}

SPixels Rings(int size)
{
    return Paint(size,
                 [](float x, float y, float* c)
                 {
                     const float r = std::sqrt((x - 0.5f) * (x - 0.5f) + (y - 0.5f) * (y - 0.5f));
                     c[0] = c[1] = c[2] = Wave(40 * r);
                     c[3] = 1 - std::min(1.0f, 2 * r);
                 });
}

SPixels Stripes(int size)
{
    return Paint(size,
                 [](float x, float y, float* c)
                 {
                     const bool on = int((x + y) * 8) % 2 == 0;
                     c[0] = on ? 0.95f : 0.2f, c[1] = on ? 0.6f : 0.3f, c[2] = on ? 0.1f : 0.7f;
                     c[3] = on ? 1.0f : 0.35f;
                 });
}

SPixels Tiles(int size, float r, float g, float b)
{
    return Paint(size,
                 [=](float x, float y, float* c)
                 {
                     const bool line = std::fmod(x * 8, 1.0f) < 0.08f || std::fmod(y * 8, 1.0f) < 0.08f;
                     const float shade = line ? 0.15f : 0.6f + 0.4f * Wave(13 * x * y);
                     c[0] = r * shade, c[1] = g * shade, c[2] = b * shade, c[3] = 1;
                 });
}

// Bands of flat colour, which run-length coding packs well.
SPixels Bands(int size)
{
    return Paint(size,
                 [](float, float y, float* c)
                 {
                     const int band = int(y * 6);
                     c[0] = band % 3 == 0 ? 0.9f : 0.2f, c[1] = band % 3 == 1 ? 0.8f : 0.25f,
                     c[2] = band % 3 == 2 ? 0.9f : 0.3f;
                     c[3] = 0.5f + 0.1f * float(band);
                 });
}

// The faces of a sky: a vertical gradient whose hue turns with the face.
SPixels SkyFace(int size, int face)
{
    return Paint(size,
                 [face](float x, float y, float* c)
                 {
                     const float h = float(face) / 6.0f;
                     c[0] = 0.2f + 0.6f * (1 - y) * Wave(6.28f * h),
                     c[1] = 0.3f + 0.5f * (1 - y) * Wave(6.28f * h + 2),
                     c[2] = 0.5f + 0.4f * Wave(6.28f * h + 4 + 3 * x), c[3] = 1;
                 });
}

// ---------------------------------------------------------------------------------------------

const char* const SHADER = "// Shared by both stages.\n"
                           "#version 110\n"
                           "varying vec3 v_Position;\n"
                           "#vertexshader\n"
                           "void main()\n"
                           "{\n"
                           "    v_Position = gl_Vertex.xyz;\n"
                           "    gl_FrontColor = gl_Color;\n"
                           "    gl_Position = ftransform();\n"
                           "}\n"
                           "#fragmentshader\n"
                           "void main()\n"
                           "{\n"
                           "    float glow = 0.6 + 0.4 * sin(v_Position.y * 3.0);\n"
                           "    gl_FragColor = vec4(gl_Color.rgb * glow, gl_Color.a);\n"
                           "}\n";

const char* const PALETTE_TXT = R"(// Colours of the sample show.
palette {
	name colours
	night (0.02 0.03 0.07 1)
	dusk (0.12 0.05 0.1 1)
	deep (0.03 0.06 0.1 1)
	sea (0.1 0.25 0.4 1)
	gold (1 0.8 0.2 1)
	cyan (0.2 0.9 1 1)
	rose (1 0.35 0.5 1)
	lime (0.6 1 0.2 1)
	ivory (0.95 0.92 0.8 0.9)
	violet (0.6 0.4 1 1)
	amber (1 0.55 0.1 1)
	glass (0.7 0.85 1 0.35)
	shell (0.9 0.85 0.75 0.6)
}
)";

const char* const RESOURCES_TXT = R"(// Archive, textures, cube maps and the shader.
stufffile {
	name archive
	filename "data/sample.stuff"
}

texture {
	name rings
	texturefile "data/rings.png"
}
texture {
	name plasma
	texturefile "data/plasma.png"
}
texture {
	name glassy
	texturefile "data/glassy.png"
}
texture {
	name stripes
	texturefile "data/stripes.png"
}
texture {
	name waves
	texturefile "data/waves.jpg"
}
texture {
	name tiles
	texturefile "data/tiles.jpg"
}
texture {
	name grid
	texturefile "data/grid.tga"
}
texture {
	name bands
	texturefile "data/bands.tga"
}
breltexture {
	name pixelart
	texturefile "data/pixelart.tga"
}
cubemap {
	name sky
	posx "sky_px.tga"
	negx "sky_nx.tga"
	posy "sky_py.tga"
	negy "sky_ny.tga"
	posz "sky_pz.tga"
	negz "sky_nz.tga"
}
shader {
	name glow
	shaderfile "sample.shader"
}

// The archive's textures, written out as TGA files.
vorntextures {
	name export
	stuff "archive|textures"
	outputdir "export"
}
)";

const char* const MODELS_TXT =
    R"(// The models of the catalogue: five from the archive, two LightWave objects.
vornmodel {
	name torus
	stuff "archive|models\torus.mdl"
	materials {
		default {
			color gold
			texture plasma
		}
	}
}
vornmodel {
	name globe
	stuff "archive|models\globe.mdl"
	materials {
		default {
			color sea
			texture reflection
			shader glow
		}
	}
}
vornmodel {
	name star
	stuff "archive|models\star.mdl"
	materials {
		default {
			color rose
			texture stripes
			blend 1
		}
	}
}
vornmodel {
	name vase
	stuff "archive|models\shapes\vase.mdl"
	materials {
		default {
			color ivory
			texture tiles
			zwrite 0
		}
	}
}
vornmodel {
	name spring
	stuff "archive|models\shapes\spring.mdl"
	materials {
		default {
			color lime
			texture waves
			shader glow
		}
	}
}
model {
	name crystal
	modelfile "crystal.lwo"
	materials {
		facet {
			color glass
			texture glassy
			blend 1
			zwrite 0
		}
		girdle {
			color violet
			texture rings
		}
	}
}
model {
	name knot
	modelfile "knot.lwo"
	materials {
		inner {
			color amber
			texture grid
		}
		middle {
			color shell
			texture bands
			shader glow
		}
		outer {
			color cyan
			texture tiles
		}
	}
}
)";

const char* const SCRIPT_TXT =
    R"(// The sample show: a catalogue of models turning in front of two curved screens.
INCLUDE "vornscr/palette.txt"
INCLUDE "vornscr/resources.txt"
INCLUDE "vornscr/models.txt"

rotate {
	name spin
	prio 1
	timescale 0.4
	position (12 0 0)
}
camera {
	name eye
	prio 2
	transform spin
	nearplane 0.5
	farplane 200
	fov 60
}
light {
	name sun
	prio 2
	transform "spin.transform"
}

// Drawn only into the cube map that the globe's material uses.
generatedcubemap {
	name reflection
	prio 5
	nearplane 0.5
	farplane 200
	texturesize 512
	transform "eye.transform"
	clear {
		color sea
	}
	grid {
	}
	nullobj {
		transform "spin.transform"
	}
}

// The backdrop changes colour every ten seconds.
chain {
	name backdrop
	prio 10
	clear {
		starttime 0
		color night
	}
	clear {
		starttime 10
		color dusk
	}
	clear {
		starttime 20
		color deep
	}
}

grid {
	name ground
	prio 20
}

// Markers that take turns.
timedchain {
	name markers
	prio 30
	nullobj {
		name orbit
		transform "spin.transform"
	}
	nullobj {
		name viewpoint
		transform "eye.transform"
	}
	nullobj {
		name lamp
		transform "spin.transform"
	}
	part orbit 0 0 0
	part viewpoint 6 0 0
	part lamp 12 0 0
}

object {
	name catalogue
	prio 40
	sequencetime 3
	fadetime 0.3
	maxsize 8
	transform "spin.transform"
	light sun
	lightintensity sunpower
	lightrange 20
	objects {
		torus gold
		globe cyan
		star lime
		vase amber
		spring rose
		crystal ivory
		knot violet
	}
}

screen {
	name leftscreen
	prio 50
	objects catalogue
	texture bands
	radius 16
	anglehorizontal 2.0
	anglevertical 1.2
	divisionhorizontal 8
	divisionvertical 4
}
screen {
	name rightscreen
	prio 51
	objects catalogue
	texture plasma
	radius 20
	divisionhorizontal 6
	divisionvertical 3
}
)";
} // namespace

// Writes the show; 0 on success.
int RunSample(int argc, char** argv)
{
    if (argc != 1)
    {
        fprintf(stderr, "usage: vornscr-tool sample DIR\n");
        return 1;
    }
    const fs::path root(argv[0]);
    bool ok = true;
    auto put = [&](const std::string& name, const TBytes& bytes)
    {
        if (bytes.empty() || !WriteFile(root / name, bytes))
        {
            fprintf(stderr, "vornscr-tool: cannot write %s\n", (root / name).string().c_str());
            ok = false;
        }
    };

    put("vornscr/script.txt", SCRIPT_TXT);
    put("vornscr/palette.txt", PALETTE_TXT);
    put("vornscr/resources.txt", RESOURCES_TXT);
    put("vornscr/models.txt", MODELS_TXT);
    std::error_code error;
    fs::create_directories(root / "vornscr/cache", error);
    put("data/sample.shader", SHADER);

    // The archive's contents, kept beside it as the directory it is packed from.
    const std::string source = "archive/";
    put(source + "models/torus.mdl", WriteModelFile(GridModel(32, 12, Torus, false, 1)));
    put(source + "models/globe.mdl", WriteModelFile(GridModel(24, 16, Globe, true, 2)));
    put(source + "models/star.mdl", WriteModelFile(GridModel(40, 6, Star, false, 3)));
    put(source + "models/shapes/vase.mdl", WriteModelFile(GridModel(20, 16, Vase, true, 1)));
    put(source + "models/shapes/spring.mdl", WriteModelFile(GridModel(72, 8, Spring, true, 3)));
    put(source + "textures/marble.dds", WriteDDS(Plasma(64, 1.0f), false));
    put(source + "textures/lava.dds", WriteDDS(Plasma(32, 2.5f), true));
    put(source + "textures/decals/stripes.dds", WriteDDS(Stripes(32), true));
    put(source + "textures/decals/rings.dds", WriteDDS(Rings(16), false));
    if (ok && PackDirectory((root / "data/sample.stuff").string().c_str(),
                            (root / "archive").string().c_str()) != 0)
        ok = false;

    put("data/crystal.lwo", WriteLightWaveObject(Crystal(10)));
    put("data/knot.lwo", WriteLightWaveObject(GridObject(96, 10, true, Knot, {"inner", "middle", "outer"})));

    put("data/rings.png", EncodePNG(Rings(64), PNG_COLOR_TYPE_GRAY));
    put("data/plasma.png", EncodePNG(Plasma(128, 0), PNG_COLOR_TYPE_RGB));
    put("data/glassy.png", EncodePNG(Rings(64), PNG_COLOR_TYPE_GRAY_ALPHA));
    put("data/stripes.png", EncodePNG(Stripes(64), PNG_COLOR_TYPE_RGB_ALPHA));
    put("data/waves.jpg", EncodeJPEG(Plasma(64, 4), false));
    put("data/tiles.jpg", EncodeJPEG(Tiles(64, 0.9f, 0.7f, 0.5f), true));
    put("data/grid.tga", WriteTGA(Tiles(64, 0.5f, 0.8f, 1.0f), false, false));
    put("data/bands.tga", WriteTGA(Bands(64), true, true));
    put("data/pixelart.tga", WriteTGA(Stripes(16), true, false));
    const char* faces[6] = {"px", "nx", "py", "ny", "pz", "nz"};
    for (int i = 0; i < 6; ++i)
        put(std::string("data/sky_") + faces[i] + ".tga", WriteTGA(SkyFace(64, i), i % 2 == 1, false));
    return ok ? 0 : 1;
}
