#include "convert/photo_conversion.h"

#include <memory>

#include "c64/pixel.h"
#include "convert/cell_colours.h"
#include "convert/dot_grid.h"
#include "convert/error_diffusion.h"
#include "convert/ordered_dither.h"
#include "convert/refinement.h"

namespace {

// The settings the conversion was tuned with on photos and by blind panels
// (see ingravo(1), CONVERSION).
//
// Multicolour for a television: cell colours by the blurred error, error
// diffusion, then the search. The search sees the picture as a PAL set and
// the eye show it, blurred sideways far more than down, lightness a little
// and colour much: judged by a round blur it left stripes from row to row
// that a set shows, and blind judges put it last where it now comes first.
// New colours come into cells in the first passes of a round only, after
// which one is seldom worth it; any colour may come into a cell, and two
// passes a round keep a run within 60 ms.
struct ModeSettings {
    MetricWeights metric;
    ColourChoiceSettings choice;
    RefinementSettings refinement;
};
constexpr ModeSettings MULTICOLOUR_SETTINGS{{0.4f}, {0.1f, 6, 5, 16, 0.0f, 0.0f}, {{1.0f, 0.6f}, {2.5f, 0.8f}, 0.7f, true, true, {2, 2}, 3.0f, {2, 1}}};
// Hires keeps its metric and, for -d2, its colour choice; no hires picture
// is searched, as every hires -d dithers in order (below).
constexpr ModeSettings HIRES_SETTINGS{{0.45f}, {0.05f, 6, 5, 4, 0.0f, 0.0f}, {}};

// Every other conversion with -d dithers in order: cells whose colours each
// dot lies near by the true colour difference, and an ordered dither between
// them, the dot's own difference weighed against the tone of the mix. A cell
// takes its neighbour's colours when they cost it at most a tenth more, so
// that a flat sky has no cells of another colour in it.
//  - Crisp pixels weigh each dot's difference most, so that areas stay calm
//    and flat where a C64 colour will do, with few levels; hires mixes less,
//    as its cell's two colours lie farther apart.
//  - Hires for a television weighs the tone most, with more levels: the set
//    blurs the texture, and its cells' two colours leave the search blocks
//    and stray colours that a television still shows.
struct OrderedSettings {
    float choice_pixel_weight;
    float neighbour_tolerance;
    OrderedDitherSettings dither;
};
constexpr OrderedSettings MULTICOLOUR_CRISP{0.5f, 0.1f, {0.65f, 9}};
constexpr OrderedSettings HIRES_CRISP{0.6f, 0.1f, {0.7f, 9}};
constexpr OrderedSettings HIRES_TELEVISION{0.2f, 0.1f, {0.15f, 17}};

// The ordered settings of a conversion, or none for the search.
const OrderedSettings* ordered_settings(const PhotoConversion& request) {
    if (request.dither != DITHER_BEST) {
        return nullptr;
    }
    if (request.view == VIEW_CRISP) {
        return request.hires ? &HIRES_CRISP : &MULTICOLOUR_CRISP;
    }
    return request.hires ? &HIRES_TELEVISION : nullptr;
}

constexpr ColourChoiceSettings FLAT_CHOICE{1.0f, 6, 5, 7, 0.0f, 0.0f};
constexpr DiffusionSettings DIFFUSION{true, 0.25f};
constexpr DiffusionSettings NEAREST{false, 0.0f};

// Slot of each dot's colour within its cell's set.
ErrorCode encode_cells(const DotGrid& grid, const CellColourSets& sets, const DotColours& dots,
                       ConvertedPicture& picture) {
    CellRecord record{};
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        const auto& set = sets.cells[static_cast<std::size_t>(cell)].colours;
        record.slots = set;
        const int first_x = (cell % CELLS_ACROSS) * grid.cell_width;
        const int first_y = (cell / CELLS_ACROSS) * CELL_ROWS;
        for (int row = 0; row < CELL_ROWS; ++row) {
            std::uint8_t byte = 0;
            for (int column = 0; column < grid.cell_width; ++column) {
                const int colour = dots.colours[static_cast<std::size_t>((first_y + row) * grid.width + first_x + column)];
                int slot = 0;
                while (slot < (grid.hires ? 1 : 3) && set[static_cast<std::size_t>(slot)] != colour) {
                    ++slot;
                }
                byte = static_cast<std::uint8_t>(grid.hires ? (byte << 1 | slot) : (byte << 2 | slot));
            }
            record.bitmap[static_cast<std::size_t>(row)] = byte;
        }
        const ErrorCode code = grid.hires ? hires_picture_cell_put(record, picture.hires, cell)
                                          : picture_cell_put(record, picture.multicolour, cell);
        if (code < 0) {
            return code;
        }
    }
    picture.multicolour.background = static_cast<std::uint8_t>(sets.background);
    picture.background = sets.background;
    return ERR_SUCCESS;
}

}  // namespace

ErrorCode convert_photo(const ScreenImage& screen, const PhotoConversion& request, ConvertedPicture& picture) {
    const ModeSettings& mode = request.hires ? HIRES_SETTINGS : MULTICOLOUR_SETTINGS;
    const auto grid = std::make_unique_for_overwrite<DotGrid>();
    const auto sets = std::make_unique<CellColourSets>();
    const auto dots = std::make_unique_for_overwrite<DotColours>();
    const bool flat = request.dither == DITHER_NONE;
    const OrderedSettings* ordered = ordered_settings(request);
    ColourChoiceSettings choice = flat ? FLAT_CHOICE : mode.choice;
    if (ordered != nullptr) {
        choice.pixel_weight = ordered->choice_pixel_weight;
        choice.neighbour_tolerance = ordered->neighbour_tolerance;
    }
    const int background = request.hires || !request.background_given ? -1 : request.background;
    // An ordered conversion weighs every dot's own colour differences.
    const auto pixel = ordered != nullptr ? std::make_unique_for_overwrite<DotPixelDifferences>() : nullptr;
    build_dot_grid(screen, request.hires, request.palette, background, mode.metric, *grid);
    if (pixel) {
        fill_pixel_differences(*grid, *pixel);
    }
    ErrorCode code = choose_cell_colours(*grid, choice, background, *sets, pixel.get());
    if (code < 0) {
        return code;
    }
    // Transparent parts show the background once it is known.
    if (!request.hires && background < 0 && screen.has_transparency) {
        build_dot_grid(screen, false, request.palette, sets->background, mode.metric, *grid);
        if (pixel) {
            fill_pixel_differences(*grid, *pixel);
        }
        if ((code = choose_cell_colours(*grid, choice, sets->background, *sets, pixel.get())) < 0) {
            return code;
        }
    }
    if (ordered != nullptr) {
        dither_ordered(*grid, *sets, ordered->dither, *pixel, *dots);
        return encode_cells(*grid, *sets, *dots, picture);
    }
    diffuse_error(*grid, *sets, flat ? NEAREST : DIFFUSION, *dots);
    if (request.dither == DITHER_BEST && (code = refine_picture(*grid, mode.refinement, *sets, *dots)) < 0) {
        return code;
    }
    return encode_cells(*grid, *sets, *dots, picture);
}
