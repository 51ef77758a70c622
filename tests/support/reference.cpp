#include "reference.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <png.h>

namespace
{
struct SJpegErrors
{
    jpeg_error_mgr m_Manager;
    jmp_buf m_Jump;
};
} // namespace

bool ReferenceJpeg(const uint8_t* data, size_t size, SReferenceImage& image)
{
    jpeg_decompress_struct info;
    SJpegErrors errors;
    info.err = jpeg_std_error(&errors.m_Manager);
    errors.m_Manager.error_exit = [](j_common_ptr c)
    { longjmp(reinterpret_cast<SJpegErrors*>(c->err)->m_Jump, 1); };
    errors.m_Manager.output_message = [](j_common_ptr) {};
    jpeg_create_decompress(&info);
    if (setjmp(errors.m_Jump))
    {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_mem_src(&info, data, (unsigned long)size);
    jpeg_read_header(&info, TRUE);
    info.dct_method = JDCT_ISLOW;
    info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&info);
    image.m_Width = int(info.output_width);
    image.m_Height = int(info.output_height);
    image.m_Channels = info.output_components;
    const size_t row = size_t(image.m_Width) * size_t(image.m_Channels);
    image.m_Samples.resize(row * size_t(image.m_Height));
    while (info.output_scanline < info.output_height)
    {
        JSAMPROW at = image.m_Samples.data() + row * info.output_scanline;
        jpeg_read_scanlines(&info, &at, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool ReferencePng(const uint8_t* data, size_t size, SReferenceImage& image)
{
    struct SInput
    {
        const uint8_t* m_Data;
        size_t m_Size, m_At;
    } input = {data, size, 0};
    png_structp png = png_create_read_struct(
        PNG_LIBPNG_VER_STRING, nullptr, [](png_structp p, png_const_charp) { png_longjmp(p, 1); },
        [](png_structp, png_const_charp) {});
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png)))
    {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &input,
                    [](png_structp p, png_bytep out, png_size_t length)
                    {
                        SInput* in = static_cast<SInput*>(png_get_io_ptr(p));
                        if (in->m_At + length > in->m_Size)
                            png_error(p, "end of file");
                        memcpy(out, in->m_Data + in->m_At, length);
                        in->m_At += length;
                    });
    png_read_info(png, info);
    image.m_Width = int(png_get_image_width(png, info));
    image.m_Height = int(png_get_image_height(png, info));
    image.m_Channels = png_get_channels(png, info);
    const int colorType = png_get_color_type(png, info);
    image.m_Supported = png_get_bit_depth(png, info) == 8 &&
                        png_get_interlace_type(png, info) == PNG_INTERLACE_NONE &&
                        (colorType == 0 || colorType == 2 || colorType == 4 || colorType == 6);
    if (image.m_Supported && size_t(image.m_Width) * size_t(image.m_Height) <= (size_t(1) << 26))
    {
        const size_t rowBytes = png_get_rowbytes(png, info);
        image.m_Samples.resize(rowBytes * size_t(image.m_Height));
        for (int y = 0; y < image.m_Height; ++y)
            rows.push_back(image.m_Samples.data() + size_t(y) * rowBytes);
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}
