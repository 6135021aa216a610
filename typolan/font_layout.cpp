#include "font_layout.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "frame/file_names.h"
#include "c64/picture.h"

namespace {

constexpr int FONT_CHARACTERS = 256;

// A font file may be shorter than 2050 bytes: what is missing stays 0.
ErrorCode read_font(const std::string& path, FontImage& font) {
    font.bytes.fill(0);
    FileHandle file = FileHandle::open(path, "rb");
    if (!file.is_open()) {
        return ERR_OPEN;
    }
    std::fread(font.bytes.data(), 1, font.bytes.size(), file.get());
    if (std::ferror(file.get()) != 0) {
        return ERR_READ;
    }
    return file.close();
}

void copy_characters(const FontImage& font, std::uint8_t* bitmap) {
    std::memcpy(bitmap, font.bytes.data() + 2, FONT_CHARACTERS * 8);
}

ErrorCode lay_out_hires(const FontImage& font, const std::string& picture_path, const FontColours& colours) {
    const auto picture = std::make_unique<HiresPicture>();
    picture->bitmap.fill(0);
    picture->screen.fill(0);
    copy_characters(font, picture->bitmap.data());
    const auto screen_byte = static_cast<std::uint8_t>((colours.colours[1] << 4) | (colours.colours[0] & 0x0F));
    std::memset(picture->screen.data(), screen_byte, FONT_CHARACTERS);
    return save_hires_picture(picture_path, *picture);
}

ErrorCode lay_out_multicolour(const FontImage& font, const std::string& picture_path, int format,
                              const FontColours& colours) {
    const auto picture = std::make_unique<C64Picture>();
    picture->bitmap.fill(0);
    picture->screen.fill(0);
    picture->colour.fill(0);
    copy_characters(font, picture->bitmap.data());
    const auto screen_byte = static_cast<std::uint8_t>((colours.colours[1] << 4) | (colours.colours[2] & 0x0F));
    std::memset(picture->screen.data(), screen_byte, FONT_CHARACTERS);
    std::memset(picture->colour.data(), colours.colours[3] & 0x0F, FONT_CHARACTERS);
    // Bits 00 show -0, as the usage text promises; without -0 it stays 0.
    picture->background = colours.colours[0];
    return save_multicolour_picture(picture_path, format, *picture);
}

}  // namespace

ErrorCode lay_font_out(const std::string& font_path, const std::string& picture_path, int format,
                       const FontColours& colours) {
    auto font = std::make_unique<FontImage>();
    const ErrorCode code = read_font(font_path, *font);
    if (code < 0) {
        return code;
    }
    if (format == FORMAT_ART_STUDIO) {
        return lay_out_hires(*font, picture_path, colours);
    }
    return lay_out_multicolour(*font, picture_path, format, colours);
}
