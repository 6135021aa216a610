// Desktop pictures of every kind the screen reader takes, built in the tests
// with the libraries' own writers: PNGs with colour chunks, JPEGs with ICC
// profiles, EXIF orientation and CMYK, WebPs, and a Display P3 profile made
// with LittleCMS.
#pragma once

#include <jpeglib.h>
#include <lcms2.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "png_builder.h"

using PictureBytes = std::vector<std::uint8_t>;

// An RGB profile with the Display P3 primaries, D65 white and the sRGB
// curve, described as "Display P3".
inline PictureBytes display_p3_profile() {
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number parameters[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, parameters);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsMLU* description = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(description, "en", "US", "Display P3");
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, description);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    PictureBytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsMLUfree(description);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return bytes;
}

struct PngColourChunks {
    PictureBytes icc;
    bool srgb = false;
    double gamma = 0.0;
    bool primaries = false;
    std::array<double, 8> chromaticities{};  // white, red, green, blue: x then y
};

inline bool write_coloured_png(png_structp png, png_infop info, const TestPng& recipe, const PngColourChunks& chunks,
                               png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(recipe.width), static_cast<png_uint_32>(recipe.height),
                 recipe.bit_depth, recipe.colour_type, recipe.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!recipe.palette.empty()) png_set_PLTE(png, info, recipe.palette.data(), static_cast<int>(recipe.palette.size()));
    if (!chunks.icc.empty()) {
        png_set_iCCP(png, info, "test", PNG_COMPRESSION_TYPE_BASE, chunks.icc.data(),
                     static_cast<png_uint_32>(chunks.icc.size()));
    }
    if (chunks.srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    if (chunks.gamma > 0.0) png_set_gAMA(png, info, chunks.gamma);
    if (chunks.primaries) {
        const auto& c = chunks.chromaticities;
        png_set_cHRM(png, info, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    }
    png_write_info(png, info);
    if (recipe.interlaced) png_set_interlace_handling(png);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

inline PictureBytes build_coloured_png(const TestPng& recipe, const PngColourChunks& chunks) {
    std::size_t row_bytes = 0;
    std::vector<std::uint8_t> rows = packed_rows(recipe, row_bytes);
    std::vector<png_bytep> pointers;
    for (int y = 0; y < recipe.height; ++y) pointers.push_back(rows.data() + row_bytes * static_cast<std::size_t>(y));
    PictureBytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, append_png_bytes, flush_png_bytes);
    const bool written = write_coloured_png(png, info, recipe, chunks, pointers.data());
    png_destroy_write_struct(&png, &info);
    if (!written) out.clear();
    return out;
}

// An APP1 payload holding only an orientation, little-endian TIFF.
inline PictureBytes exif_with_orientation(int orientation) {
    return {'E', 'x', 'i', 'f', 0, 0,                     // EXIF header
            'I', 'I', 42, 0, 8, 0, 0, 0,                  // TIFF header, IFD0 at 8
            1, 0,                                         // one entry
            0x12, 0x01, 3, 0, 1, 0, 0, 0,                 // orientation, SHORT, one value
            static_cast<std::uint8_t>(orientation), 0, 0, 0,
            0, 0, 0, 0};                                  // no next IFD
}

struct TestJpeg {
    int width;
    int height;
    J_COLOR_SPACE space;  // JCS_GRAYSCALE, JCS_RGB or JCS_CMYK (written as Adobe's inverted CMYK)
    std::function<std::array<std::uint8_t, 4>(int x, int y)> sample;  // grey, RGB or CMYK ink
    PictureBytes icc;
    int orientation = 1;
    bool progressive = false;
    int quality = 100;
};

inline PictureBytes build_jpeg(const TestJpeg& recipe) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(recipe.width);
    info.image_height = static_cast<JDIMENSION>(recipe.height);
    info.input_components = recipe.space == JCS_GRAYSCALE ? 1 : recipe.space == JCS_CMYK ? 4 : 3;
    info.in_color_space = recipe.space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, recipe.quality, TRUE);
    // Full-resolution chroma, so that flat colours come back as they went in.
    for (int component = 0; component < info.num_components; ++component) {
        info.comp_info[component].h_samp_factor = 1;
        info.comp_info[component].v_samp_factor = 1;
    }
    if (recipe.progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    if (recipe.orientation != 1) {
        const PictureBytes exif = exif_with_orientation(recipe.orientation);
        jpeg_write_marker(&info, JPEG_APP0 + 1, exif.data(), static_cast<unsigned int>(exif.size()));
    }
    if (!recipe.icc.empty()) {
        jpeg_write_icc_profile(&info, recipe.icc.data(), static_cast<unsigned int>(recipe.icc.size()));
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(recipe.width * info.input_components));
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < recipe.width; ++x) {
            const auto values = recipe.sample(x, y);
            for (int channel = 0; channel < info.input_components; ++channel) {
                const std::uint8_t value = values[static_cast<std::size_t>(channel)];
                row[static_cast<std::size_t>(x * info.input_components + channel)] =
                    recipe.space == JCS_CMYK ? static_cast<std::uint8_t>(255 - value) : value;
            }
        }
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    PictureBytes bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

struct TestWebp {
    int width;
    int height;
    bool lossless;
    std::function<std::array<std::uint8_t, 4>(int x, int y)> rgba;
    PictureBytes icc;
};

inline PictureBytes build_webp(const TestWebp& recipe) {
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < recipe.height; ++y) {
        for (int x = 0; x < recipe.width; ++x) {
            const auto value = recipe.rgba(x, y);
            pixels.insert(pixels.end(), value.begin(), value.end());
        }
    }
    std::uint8_t* output = nullptr;
    const std::size_t size =
        recipe.lossless ? WebPEncodeLosslessRGBA(pixels.data(), recipe.width, recipe.height, recipe.width * 4, &output)
                        : WebPEncodeRGBA(pixels.data(), recipe.width, recipe.height, recipe.width * 4, 100.0F, &output);
    PictureBytes bytes(output, output + size);
    WebPFree(output);
    if (recipe.icc.empty() || bytes.empty()) return bytes;
    WebPMux* mux = WebPMuxNew();
    const WebPData image{bytes.data(), bytes.size()};
    const WebPData profile{recipe.icc.data(), recipe.icc.size()};
    WebPData assembled{};
    PictureBytes with_profile;
    if (WebPMuxSetImage(mux, &image, 1) == WEBP_MUX_OK && WebPMuxSetChunk(mux, "ICCP", &profile, 1) == WEBP_MUX_OK &&
        WebPMuxAssemble(mux, &assembled) == WEBP_MUX_OK) {
        with_profile.assign(assembled.bytes, assembled.bytes + assembled.size);
    }
    WebPDataClear(&assembled);
    WebPMuxDelete(mux);
    return with_profile;
}

inline void store_picture(const std::string& path, const PictureBytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}
