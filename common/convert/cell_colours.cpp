#include "convert/cell_colours.h"

#include <algorithm>
#include <limits>
#include <memory>

namespace {

constexpr int PAIR_COUNT = PALETTE_SIZE * (PALETTE_SIZE - 1) / 2;
constexpr int MAX_CELL_DOTS = 64;

constexpr std::array<std::array<int, PALETTE_SIZE>, PALETTE_SIZE> make_pair_index() {
    std::array<std::array<int, PALETTE_SIZE>, PALETTE_SIZE> index{};
    int next = 0;
    for (int i = 0; i < PALETTE_SIZE; ++i) {
        index[i][i] = -1;
        for (int j = i + 1; j < PALETTE_SIZE; ++j) {
            index[i][j] = next;
            index[j][i] = next;
            ++next;
        }
    }
    return index;
}
constexpr auto pair_index = make_pair_index();

// Cost of every pair for every dot of one cell: pairs[pair][dot].
struct CellPairCosts {
    std::array<std::array<float, MAX_CELL_DOTS>, PAIR_COUNT> pairs;
    int dots;
};

// The cost of showing a target by a mix of colours i and j: the squared
// perceptual error of the best mix, plus grain times the mix's variance.
float mix_cost(const Perceptual& target, const Perceptual& first, const Perceptual& second, float grain) {
    float rr = 0.0f;
    float rd = 0.0f;
    float dd = 0.0f;
    for (int c = 0; c < 3; ++c) {
        const float r = target[c] - second[c];
        const float d = first[c] - second[c];
        rr += r * r;
        rd += r * d;
        dd += d * d;
    }
    if (grain >= 1.0f || dd <= 0.0f) {
        return std::min(rr, rr - 2.0f * rd + dd);
    }
    const float linear = 2.0f * rd - grain * dd;
    const float quadratic = (1.0f - grain) * dd;
    const float share = std::clamp(linear / (2.0f * quadratic), 0.0f, 1.0f);
    return rr - share * linear + share * share * quadratic;
}

void compute_pair_costs(const DotGrid& grid, int cell, float grain, bool weigh_coverage, CellPairCosts& costs) {
    const int cell_x = (cell % CELLS_ACROSS) * grid.cell_width;
    const int cell_y = (cell / CELLS_ACROSS) * CELL_ROWS;
    int n = 0;
    for (int row = 0; row < CELL_ROWS; ++row) {
        for (int column = 0; column < grid.cell_width; ++column, ++n) {
            const int dot = (cell_y + row) * grid.width + cell_x + column;
            const Perceptual target = perceptual_of(grid, dot, &grid.target[static_cast<std::size_t>(dot * 3)]);
            std::array<Perceptual, PALETTE_SIZE> colours;
            for (int c = 0; c < PALETTE_SIZE; ++c) {
                colours[c] = perceptual_of(grid, dot, grid.palette[c].data());
            }
            const float weight = weigh_coverage ? grid.coverage[static_cast<std::size_t>(dot)] : 1.0f;
            for (int i = 0; i < PALETTE_SIZE; ++i) {
                for (int j = i + 1; j < PALETTE_SIZE; ++j) {
                    costs.pairs[pair_index[i][j]][n] = weight * mix_cost(target, colours[i], colours[j], grain);
                }
            }
        }
    }
    costs.dots = n;
}

float pair_total(const CellPairCosts& costs, int pair) {
    float total = 0.0f;
    for (int n = 0; n < costs.dots; ++n) {
        total += costs.pairs[pair][n];
    }
    return total;
}

// Colours ranked by the best whole-cell cost of a pair they belong to.
std::array<int, PALETTE_SIZE> rank_colours(const CellPairCosts& costs) {
    std::array<float, PAIR_COUNT> totals;
    for (int pair = 0; pair < PAIR_COUNT; ++pair) {
        totals[pair] = pair_total(costs, pair);
    }
    std::array<float, PALETTE_SIZE> best;
    best.fill(std::numeric_limits<float>::max());
    for (int i = 0; i < PALETTE_SIZE; ++i) {
        for (int j = 0; j < PALETTE_SIZE; ++j) {
            if (i != j) {
                best[i] = std::min(best[i], totals[pair_index[i][j]]);
            }
        }
    }
    std::array<int, PALETTE_SIZE> order;
    for (int c = 0; c < PALETTE_SIZE; ++c) {
        order[c] = c;
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return best[a] < best[b]; });
    return order;
}

// The cost of a cell shown with four colours: each dot takes its best pair.
float set_cost(const CellPairCosts& costs, const std::array<int, 4>& set) {
    const int pairs[6] = {pair_index[set[0]][set[1]], pair_index[set[0]][set[2]], pair_index[set[0]][set[3]],
                          pair_index[set[1]][set[2]], pair_index[set[1]][set[3]], pair_index[set[2]][set[3]]};
    float total = 0.0f;
    for (int n = 0; n < costs.dots; ++n) {
        float best = costs.pairs[pairs[0]][n];
        for (int p = 1; p < 6; ++p) {
            best = std::min(best, costs.pairs[pairs[p]][n]);
        }
        total += best;
    }
    return total;
}

// The best three colours beside the background among the cell's candidates.
float best_multicolour_set(const CellPairCosts& costs, const std::array<int, PALETTE_SIZE>& ranking, int background,
                           int candidates, CellColourSet& chosen) {
    std::array<int, PALETTE_SIZE> pool{};
    int size = 0;
    for (const int colour : ranking) {
        if (colour != background && size < candidates) {
            pool[size++] = colour;
        }
    }
    float best = std::numeric_limits<float>::max();
    for (int i = 0; i < size; ++i) {
        for (int j = i + 1; j < size; ++j) {
            for (int k = j + 1; k < size; ++k) {
                const float cost = set_cost(costs, {background, pool[i], pool[j], pool[k]});
                if (cost < best) {
                    best = cost;
                    chosen.colours = {static_cast<std::uint8_t>(background), static_cast<std::uint8_t>(pool[i]),
                                      static_cast<std::uint8_t>(pool[j]), static_cast<std::uint8_t>(pool[k])};
                }
            }
        }
    }
    return best;
}

CellColourSet best_hires_pair(const CellPairCosts& costs) {
    CellColourSet chosen{};
    float best = std::numeric_limits<float>::max();
    for (int i = 0; i < PALETTE_SIZE; ++i) {
        for (int j = i + 1; j < PALETTE_SIZE; ++j) {
            const float cost = pair_total(costs, pair_index[i][j]);
            if (cost < best) {
                best = cost;
                chosen.colours = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(j), 0, 0};
            }
        }
    }
    return chosen;
}

}  // namespace

ErrorCode choose_background(const DotGrid& grid, const ColourChoiceSettings& settings, int& background) {
    const auto costs = std::make_unique_for_overwrite<CellPairCosts>();
    std::array<double, PALETTE_SIZE> totals{};
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        compute_pair_costs(grid, cell, settings.grain, true, *costs);
        const auto ranking = rank_colours(*costs);
        for (int candidate = 0; candidate < PALETTE_SIZE; ++candidate) {
            CellColourSet set{};
            totals[candidate] += best_multicolour_set(*costs, ranking, candidate, settings.candidates, set);
        }
    }
    background = static_cast<int>(std::min_element(totals.begin(), totals.end()) - totals.begin());
    return ERR_SUCCESS;
}

ErrorCode choose_cell_colours(const DotGrid& grid, const ColourChoiceSettings& settings, bool background_given,
                              int background, CellColourSets& sets) {
    if (!grid.hires && !background_given) {
        const ErrorCode code = choose_background(grid, settings, background);
        if (code < 0) {
            return code;
        }
    }
    const auto costs = std::make_unique_for_overwrite<CellPairCosts>();
    sets.background = grid.hires ? 0 : background;
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        compute_pair_costs(grid, cell, settings.grain, false, *costs);
        if (grid.hires) {
            sets.cells[cell] = best_hires_pair(*costs);
        } else {
            best_multicolour_set(*costs, rank_colours(*costs), background, settings.candidates, sets.cells[cell]);
        }
    }
    return ERR_SUCCESS;
}
