#include "convert/refinement.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "convert/cell_recolouring.h"
#include "convert/search_state.h"

namespace {

// Each dot's error, blurred 1 2 1 both ways with the borders repeated: the
// local error the second round weighs by, left in state.errors by channel.
__attribute__((target_clones("avx2", "default"))) void local_errors(SearchState& state, const DotColours& dots) {
    const DotGrid& grid = *state.grid;
    const int width = grid.width;
    const int plane = state.plane;
    perceptual_errors(state, dots);
    std::vector<float>& errors = state.errors;
    std::vector<float>& across = state.across;
    across.resize(static_cast<std::size_t>(plane) * 3);
    for (int row = 0; row < 3 * IMAGE_HEIGHT; ++row) {
        const float* in = &errors[static_cast<std::size_t>(row * width)];
        float* out = &across[static_cast<std::size_t>(row * width)];
        out[0] = 3.0f * in[0] + in[1];
        for (int x = 1; x < width - 1; ++x) {
            out[x] = in[x - 1] + 2.0f * in[x] + in[x + 1];
        }
        out[width - 1] = in[width - 2] + 3.0f * in[width - 1];
    }
    for (int ch = 0; ch < 3; ++ch) {
        for (int y = 0; y < IMAGE_HEIGHT; ++y) {
            const float* above = &across[static_cast<std::size_t>(ch * plane + std::max(0, y - 1) * width)];
            const float* here = &across[static_cast<std::size_t>(ch * plane + y * width)];
            const float* below = &across[static_cast<std::size_t>(ch * plane + std::min(IMAGE_HEIGHT - 1, y + 1) * width)];
            float* out = &errors[static_cast<std::size_t>(ch * plane + y * width)];
            for (int x = 0; x < width; ++x) {
                out[x] = (above[x] + 2.0f * here[x] + below[x]) * (1.0f / 16.0f);
            }
        }
    }
}

// The refinement minimises squared differences, which weigh a large error
// more than the mean colour difference does; scaling each dot's metric by
// one over the square root of its local error makes the sum of squares
// approach the sum of differences.
void weigh_metric_by_error(SearchState& state, const DotColours& dots, float floor, DotGrid& grid) {
    local_errors(state, dots);
    const int plane = state.plane;
    const float* local = state.errors.data();
    for (int dot = 0; dot < plane; ++dot) {
        const float l = local[dot];
        const float a = local[plane + dot];
        const float b = local[2 * plane + dot];
        const float scale = 1.0f / std::sqrt(std::max(std::sqrt(l * l + a * a + b * b), floor));
        for (float& m : grid.metric[static_cast<std::size_t>(dot)]) {
            m *= scale;
        }
    }
}

// Passes of toggles, swaps and recolouring until one changes nothing.
void search(SearchState& state, const SearchRound& round, CellColourSets& sets, DotColours& dots) {
    initialise_correlation(state, dots);
    state.dirty.fill(1);
    for (int pass = 0; pass < round.passes; ++pass) {
        state.dirty_next.fill(0);
        state.last_marked = -1;
        const int toggled = toggle_pass(state, sets, dots);
        const int recoloured = pass < round.recolour_passes ? recolour_pass(state, sets, dots) : 0;
        if (toggled == 0 && recoloured == 0) {
            break;
        }
        state.dirty = state.dirty_next;
    }
}
}  // namespace

ErrorCode refine_picture(DotGrid& grid, const RefinementSettings& settings, CellColourSets& sets, DotColours& dots) {
    auto state = std::make_unique<SearchState>();
    state->grid = &grid;
    const Autocorrelation lightness = make_autocorrelation(settings.lightness_blur, grid.dot_pixels);
    const Autocorrelation colour = make_autocorrelation(settings.colour_blur, grid.dot_pixels);
    state->kernels[0] = make_kernel(lightness, lightness, 0.0f);
    state->kernels[1] = make_kernel(colour, lightness, settings.fine_colour_weight);
    state->kernels[2] = state->kernels[1];
    fill_near_tables(*state);
    state->swaps = settings.swaps;
    state->swap_neighbours = settings.diagonal_swaps ? 4 : 2;
    state->plane = dot_count(grid);
    search(*state, settings.first, sets, dots);
    // The second round keeps the first's buffers: no new pages to fault in.
    if (settings.error_floor > 0.0f) {
        weigh_metric_by_error(*state, dots, settings.error_floor, grid);
        search(*state, settings.reweighted, sets, dots);
    }
    return ERR_SUCCESS;
}
