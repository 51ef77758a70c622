// JPEG decoding throughput (bytes of output pixels per second): our decoder, alone and with the
// conversion to RGB that a texture needs, against libjpeg-turbo and stb_image on the same files.
#include "keth/ext/loader/jpeg/jpeg.h"
#include "keth/func/image.h"
#include "keth/func/stream.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <stb/stb_image.h>
#include <string>
#include <vector>

using namespace NKeth;

namespace
{
const char* const FILES[] = {
    "deb_plasma-workspace-wallpapers/720x1440.jpg", // 4:2:2 colour
    "deb_endless-sky-data/lava3.jpg",               // 4:2:2 colour
    "debsrc_pillow-9.4.0/hopper.jpg",               // 4:2:0 colour
    "deb_marble-qt-data/The World.jpg",             // 4:4:4 colour
    "deb_gdk-pixbuf-tests/cat.jpg",                 // grey
};

const std::vector<unsigned char>& FileData(int index)
{
    static std::vector<unsigned char> data[sizeof FILES / sizeof FILES[0]];
    std::vector<unsigned char>& bytes = data[index];
    if (bytes.empty())
    {
        std::string path = std::string(CORPUS_DIR) + "/jpeg/" + FILES[index];
        FILE* f = fopen(path.c_str(), "rb");
        if (!f)
        {
            fprintf(stderr, "missing %s\n", path.c_str());
            exit(1);
        }
        unsigned char chunk[65536];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, f)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + got);
        fclose(f);
    }
    return bytes;
}

void Report(benchmark::State& state, int index, int64_t outputBytes)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * outputBytes);
    state.SetLabel(FILES[index]);
}

void BM_JpegOurs(benchmark::State& state, bool toRgb)
{
    int index = int(state.range(0));
    const std::vector<unsigned char>& data = FileData(index);
    CJPEGFormat format;
    CImage image, rgb;
    for (auto _ : state)
    {
        CMemoryReader in(data.data(), int32_t(data.size()));
        if (!format.Load(in, image))
        {
            state.SkipWithError("decoding failed");
            return;
        }
        if (toRgb && image.m_Format.m_ChannelCount == 3)
            image.Convert(CImage::CFormat(CImage::CFormat::PRESET_RGB8, 0, 0), rgb);
        benchmark::DoNotOptimize(image.m_Data);
    }
    Report(state, index, image.m_Format.m_Size);
}

void BM_JpegLibjpegTurbo(benchmark::State& state)
{
    int index = int(state.range(0));
    const std::vector<unsigned char>& data = FileData(index);
    std::vector<unsigned char> pixels;
    int64_t size = 0;
    for (auto _ : state)
    {
        jpeg_decompress_struct info;
        jpeg_error_mgr errors;
        info.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, data.data(), (unsigned long)data.size());
        jpeg_read_header(&info, TRUE);
        jpeg_start_decompress(&info);
        size_t stride = size_t(info.output_width) * info.output_components;
        pixels.resize(stride * info.output_height);
        while (info.output_scanline < info.output_height)
        {
            JSAMPROW row = pixels.data() + stride * info.output_scanline;
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        size = int64_t(pixels.size());
        benchmark::DoNotOptimize(pixels.data());
    }
    Report(state, index, size);
}

void BM_JpegStbImage(benchmark::State& state)
{
    int index = int(state.range(0));
    const std::vector<unsigned char>& data = FileData(index);
    int64_t size = 0;
    for (auto _ : state)
    {
        int width, height, channels;
        unsigned char* pixels =
            stbi_load_from_memory(data.data(), int(data.size()), &width, &height, &channels, 0);
        if (!pixels)
        {
            state.SkipWithError("decoding failed");
            return;
        }
        size = int64_t(width) * height * channels;
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    Report(state, index, size);
}

const int FILE_COUNT = int(sizeof FILES / sizeof FILES[0]);
} // namespace

BENCHMARK_CAPTURE(BM_JpegOurs, ycbcr, false)->DenseRange(0, FILE_COUNT - 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_JpegOurs, rgb, true)->DenseRange(0, FILE_COUNT - 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegLibjpegTurbo)->DenseRange(0, FILE_COUNT - 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegStbImage)->DenseRange(0, FILE_COUNT - 1)->Unit(benchmark::kMillisecond);
