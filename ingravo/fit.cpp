#include "fit.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <memory>

#include "frame/file_names.h"

namespace {

constexpr int CELL_SIZE = 8;
constexpr std::uint32_t C64_COLOUR_BITS = NOT_A_COLOUR_BIT - 1;

// The bit of every pixel value, so that collecting a cell's colours needs
// no test per pixel.
constexpr std::array<std::uint32_t, 256> make_colour_bits() {
    std::array<std::uint32_t, 256> bits{};
    for (std::size_t value = 0; value < bits.size(); ++value) {
        bits[value] = value < C64_COLOUR_COUNT ? 1u << value : NOT_A_COLOUR_BIT;
    }
    return bits;
}
constexpr std::array<std::uint32_t, 256> colour_bits = make_colour_bits();

int colour_count(std::uint32_t colours) {
    return std::popcount(colours & C64_COLOUR_BITS);
}

// Pixels of each colour in the image, for the choice among several
// backgrounds (only then: most images leave one).
std::array<std::uint32_t, C64_COLOUR_COUNT> count_colours(const PixelImage& image) {
    std::array<std::uint32_t, 256> counts{};
    for (const std::uint8_t pixel : image.pixels) {
        ++counts[pixel];
    }
    std::array<std::uint32_t, C64_COLOUR_COUNT> colour_counts{};
    std::memcpy(colour_counts.data(), counts.data(), sizeof colour_counts);
    return colour_counts;
}

// A cell passes the multicolour colour limit with any background when it has
// at most 3 colours, with one of its own when it has 4, with none beyond.
std::uint32_t backgrounds_every_cell_accepts(const CellColours& colours) {
    std::uint32_t accepted = C64_COLOUR_BITS;
    for (const std::uint32_t cell : colours.cells) {
        const int count = colour_count(cell);
        if (count > 4) {
            return 0;
        }
        if (count == 4) {
            accepted &= cell;
        }
    }
    return accepted;
}

bool cell_passes(std::uint32_t cell, bool hires, std::uint8_t background) {
    if ((cell & NOT_A_COLOUR_BIT) != 0) {
        return false;
    }
    const int count = colour_count(cell);
    if (hires) {
        return count <= 2;
    }
    return count < 4 || (count == 4 && (cell >> background & 1u) != 0);
}

}  // namespace

int format_of_output_name(const std::string& name) {
    const std::string extension = file_extension(name);
    for (int format = FORMAT_KOALA; format <= FORMAT_ART_STUDIO; ++format) {
        if (extension == picture_extensions[static_cast<std::size_t>(format)]) {
            return format;
        }
    }
    return FIT_MODE_OPEN;
}

bool image_is_multicolour(const PixelImage& image) {
    // Eight pixels at a time: every odd byte equals the even byte before it.
    constexpr std::uint64_t EVEN_BYTES = 0x00FF00FF00FF00FFull;
    std::uint64_t differences = 0;
    for (std::size_t at = 0; at < image.pixels.size(); at += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, image.pixels.data() + at, sizeof word);
        differences |= (word ^ word >> 8) & EVEN_BYTES;
    }
    return differences == 0;
}

ErrorCode collect_cell_colours(const PixelImage& image, bool pairs_equal, CellColours& colours) {
    colours.cells.fill(0);
    const std::uint8_t* pixel = image.pixels.data();
    for (int y = 0; y < IMAGE_HEIGHT; ++y) {
        std::uint32_t* cell = colours.cells.data() + static_cast<std::ptrdiff_t>(y / CELL_SIZE * CELL_COLUMNS);
        if (pairs_equal) {
            // The right half of a pair repeats the left one.
            for (int column = 0; column < CELL_COLUMNS; ++column, pixel += CELL_SIZE) {
                cell[column] |=
                    colour_bits[pixel[0]] | colour_bits[pixel[2]] | colour_bits[pixel[4]] | colour_bits[pixel[6]];
            }
            continue;
        }
        for (int column = 0; column < CELL_COLUMNS; ++column, pixel += CELL_SIZE) {
            cell[column] |= colour_bits[pixel[0]] | colour_bits[pixel[1]] | colour_bits[pixel[2]] |
                            colour_bits[pixel[3]] | colour_bits[pixel[4]] | colour_bits[pixel[5]] |
                            colour_bits[pixel[6]] | colour_bits[pixel[7]];
        }
    }
    return ERR_SUCCESS;
}

ErrorCode find_background(const PixelImage& image, const CellColours& colours, std::uint8_t most_used,
                          std::uint8_t& background, bool& fits) {
    const std::uint32_t accepted = backgrounds_every_cell_accepts(colours);
    fits = accepted != 0;
    // The most used colour is also the most used of any set it belongs to.
    if (!fits || (accepted >> most_used & 1u) != 0) {
        background = most_used;
        return ERR_SUCCESS;
    }
    if (std::has_single_bit(accepted)) {
        background = static_cast<std::uint8_t>(std::countr_zero(accepted));
        return ERR_SUCCESS;
    }
    const auto counts = count_colours(image);
    // Strictly more: on a tie the lowest colour number stays, as for the most used colour.
    std::uint32_t best = 0;
    background = static_cast<std::uint8_t>(std::countr_zero(accepted));
    for (int colour = 0; colour < C64_COLOUR_COUNT; ++colour) {
        if ((accepted >> colour & 1u) != 0 && counts[static_cast<std::size_t>(colour)] > best) {
            best = counts[static_cast<std::size_t>(colour)];
            background = static_cast<std::uint8_t>(colour);
        }
    }
    return ERR_SUCCESS;
}

ErrorCode choose_fit(const PixelImage& image, int fixed_format, bool background_given, std::uint8_t background,
                     std::uint8_t most_used, FitChoice& choice) {
    const bool pairs_equal = image_is_multicolour(image);
    choice.format = fixed_format;
    if (fixed_format == FIT_MODE_OPEN) {
        choice.format = pairs_equal ? FORMAT_KOALA : FORMAT_ART_STUDIO;
    }
    choice.background_given = background_given;
    choice.background = background;
    choice.background_fits = true;
    if (choice.format == FORMAT_ART_STUDIO || background_given) {
        return ERR_SUCCESS;
    }
    const auto colours = std::make_unique_for_overwrite<CellColours>();
    const ErrorCode code = collect_cell_colours(image, pairs_equal, *colours);
    if (code < 0) {
        return code;
    }
    return find_background(image, *colours, most_used, choice.background, choice.background_fits);
}

ErrorCode fit_passes(const PixelImage& image, const FitChoice& choice, bool& passes) {
    const bool hires = choice.format == FORMAT_ART_STUDIO;
    const bool pairs_equal = image_is_multicolour(image);
    passes = false;
    if (!hires && !pairs_equal) {
        return ERR_SUCCESS;
    }
    const auto colours = std::make_unique_for_overwrite<CellColours>();
    const ErrorCode code = collect_cell_colours(image, pairs_equal, *colours);
    if (code < 0) {
        return code;
    }
    for (const std::uint32_t cell : colours->cells) {
        if (!cell_passes(cell, hires, choice.background)) {
            return ERR_SUCCESS;
        }
    }
    passes = true;
    return ERR_SUCCESS;
}

namespace {

// Notes say where a background came from, or that -b had no use; a hint
// names only what -f would do.
std::string describe_choice(const FitChoice& choice, bool with_notes) {
    char line[96];
    if (choice.format == FORMAT_ART_STUDIO) {
        return with_notes && choice.background_given ? "hires, -b not used" : "hires";
    }
    const char* why = "";
    if (with_notes && choice.background_given) {
        why = " from -b";
    } else if (with_notes && !choice.background_fits) {
        why = " (the most used: no background fits every cell)";
    }
    std::snprintf(line, sizeof line, "multicolour, background $%02x%s", choice.background, why);
    return line;
}

}  // namespace

std::string describe_fit(const FitChoice& choice) {
    return "fit: " + describe_choice(choice, true) + "\n";
}

std::string describe_fit_hint(const FitChoice& choice) {
    return "with -f: " + describe_choice(choice, false) + " would pass\n";
}
