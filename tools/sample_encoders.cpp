#include "sample_encoders.h"

#include <jpeglib.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace NContent;

namespace NSample
{
namespace
{
void PngToMemory(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<TBytes*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void PngFlush(png_structp) {}

} // namespace

TBytes EncodePNG(const SPixels& pixels, EPngChannels kind)
{
    static const int COLOUR_TYPES[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                       PNG_COLOR_TYPE_RGB_ALPHA};
    const int colourType = COLOUR_TYPES[int(kind)];
    const int channels = int(kind) + 1;
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
} // namespace NSample
