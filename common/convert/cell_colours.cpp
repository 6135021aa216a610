#include "convert/cell_colours.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "convert/crisp_mix.h"
#include "convert/pixel_difference.h"

namespace {

constexpr int PAIR_COUNT = PALETTE_SIZE * (PALETTE_SIZE - 1) / 2;

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

// The two colours of each pair.
constexpr std::array<std::array<int, 2>, PAIR_COUNT> make_pair_colours() {
    std::array<std::array<int, 2>, PAIR_COUNT> colours{};
    for (int i = 0; i < PALETTE_SIZE; ++i) {
        for (int j = i + 1; j < PALETTE_SIZE; ++j) {
            colours[static_cast<std::size_t>(pair_index[i][j])] = {i, j};
        }
    }
    return colours;
}
constexpr auto pair_colours = make_pair_colours();

// Cost of every pair for every dot of one cell: pairs[pair][dot], and
// over the whole cell.
struct CellPairCosts {
    std::array<std::array<float, MAX_CELL_DOTS>, PAIR_COUNT> pairs;
    std::array<float, PAIR_COUNT> totals;
    int dots;
};

// Each dot's error if it showed each of the 16 colours alone, in the dot's
// own perceptual space, and its square, one array per channel so that the
// pair costs run over the dots together.
struct CellPoints {
    std::array<std::array<std::array<float, MAX_CELL_DOTS>, 3>, PALETTE_SIZE> errors;
    std::array<std::array<float, MAX_CELL_DOTS>, PALETTE_SIZE> squares;
    // Crisp pixels: each colour's squared true colour difference from each dot.
    std::array<std::array<float, MAX_CELL_DOTS>, PALETTE_SIZE> pixel_squares;
    std::array<float, MAX_CELL_DOTS> weight;
};

// The cell's dots' targets and metrics, one array per component.
struct CellDots {
    std::array<std::array<float, MAX_CELL_DOTS>, 3> target;
    std::array<std::array<float, MAX_CELL_DOTS>, 9> metric;
};

// Every colour's error, metric times (target - colour), and its square, for
// all the dots together.
__attribute__((target_clones("avx2", "default"))) void colour_errors(const CellDots& cell, const DotGrid& grid,
                                                                     int dots, CellPoints& points) {
    const auto& palette = grid.palette_channels;
    for (int c = 0; c < PALETTE_SIZE; ++c) {
        auto& errors = points.errors[static_cast<std::size_t>(c)];
        const float pr = palette[0][static_cast<std::size_t>(c)];
        const float pg = palette[1][static_cast<std::size_t>(c)];
        const float pb = palette[2][static_cast<std::size_t>(c)];
        for (int n = 0; n < dots; ++n) {
            const float r = cell.target[0][n] - pr;
            const float g = cell.target[1][n] - pg;
            const float b = cell.target[2][n] - pb;
            const float e0 = cell.metric[0][n] * r + cell.metric[1][n] * g + cell.metric[2][n] * b;
            const float e1 = cell.metric[3][n] * r + cell.metric[4][n] * g + cell.metric[5][n] * b;
            const float e2 = cell.metric[6][n] * r + cell.metric[7][n] * g + cell.metric[8][n] * b;
            errors[0][n] = e0;
            errors[1][n] = e1;
            errors[2][n] = e2;
            points.squares[static_cast<std::size_t>(c)][static_cast<std::size_t>(n)] = e0 * e0 + e1 * e1 + e2 * e2;
        }
    }
}

void collect_cell_points(const DotGrid& grid, int cell, bool weigh_coverage, const DotPixelDifferences* pixel,
                         CellPoints& points, int& count) {
    const int cell_x = (cell % CELLS_ACROSS) * grid.cell_width;
    const int cell_y = (cell / CELLS_ACROSS) * CELL_ROWS;
    CellDots cell_dots;
    int n = 0;
    for (int row = 0; row < CELL_ROWS; ++row) {
        for (int column = 0; column < grid.cell_width; ++column, ++n) {
            const int dot = (cell_y + row) * grid.width + cell_x + column;
            for (int c = 0; c < 3; ++c) {
                cell_dots.target[c][n] = grid.target[static_cast<std::size_t>(dot * 3 + c)];
            }
            for (int i = 0; i < 9; ++i) {
                cell_dots.metric[i][n] = grid.metric[static_cast<std::size_t>(dot)][i];
            }
            points.weight[n] = weigh_coverage ? grid.coverage[static_cast<std::size_t>(dot)] : 1.0f;
            if (pixel != nullptr) {
                const auto& squares = pixel_squares_of(*pixel, dot);
                for (int c = 0; c < PALETTE_SIZE; ++c) {
                    points.pixel_squares[static_cast<std::size_t>(c)][static_cast<std::size_t>(n)] =
                        squares[static_cast<std::size_t>(c)];
                }
            }
        }
    }
    colour_errors(cell_dots, grid, n, points);
    count = n;
}

// A cell's total of its dots' costs: eight running sums, one a lane, the
// same in every build; cells hold a multiple of eight dots.
[[gnu::always_inline]] inline float cell_total(const float* costs, int dots) {
    std::array<float, 8> sums{};
    for (int n = 0; n < dots; n += 8) {
        for (int lane = 0; lane < 8; ++lane) {
            sums[static_cast<std::size_t>(lane)] += costs[n + lane];
        }
    }
    return ((sums[0] + sums[1]) + (sums[2] + sums[3])) + ((sums[4] + sums[5]) + (sums[6] + sums[7]));
}

// The cost of showing each dot's target by a mix of colours i and j: the
// squared perceptual error of the best mix, plus grain times the mix's
// variance. grain 1 allows no mix: the nearer colour alone. With e and r the
// errors of colours i and j alone, the two colours lie r - e apart, so only
// e . r is new to the pair.
[[gnu::always_inline]] inline float mix_costs(const CellPoints& points, int dots, int i, int j, float grain,
                                              float* __restrict costs) {
    const auto& e = points.errors[static_cast<std::size_t>(i)];
    const auto& r = points.errors[static_cast<std::size_t>(j)];
    const float* ee_of = points.squares[static_cast<std::size_t>(i)].data();
    const float* rr_of = points.squares[static_cast<std::size_t>(j)].data();
    const float nearest_weight = grain >= 1.0f ? 1.0f : 0.0f;
    for (int n = 0; n < dots; ++n) {
        // A dot that shows a colour exactly has that colour's error exactly
        // 0, and costs exactly nothing.
        const float ee = ee_of[n];
        const float rr = rr_of[n];
        const float er = e[0][n] * r[0][n] + e[1][n] * r[1][n] + e[2][n] * r[2][n];
        const float rd = rr - er;
        const float dd = rd + (ee - er);
        const float linear = 2.0f * rd - grain * dd;
        const float quadratic = (1.0f - grain) * dd;
        const float share = linear / (2.0f * quadratic + 1e-12f);
        float mixed = rr - share * linear + share * share * quadratic;
        mixed = share <= 0.0f ? rr : mixed;
        mixed = share >= 1.0f ? ee : mixed;
        mixed = mixed < 0.0f ? 0.0f : mixed;
        const float nearest = ee < rr ? ee : rr;
        costs[n] = points.weight[n] * (mixed + nearest_weight * (nearest - mixed));
    }
    return cell_total(costs, dots);
}

// The crisp cost of showing each dot by a mix of colours i and j
// (convert/crisp_mix.h).
[[gnu::always_inline]] inline float crisp_mix_costs(const CellPoints& points, int dots, int i, int j,
                                                    float pixel_weight, float* __restrict costs) {
    const auto& e = points.errors[static_cast<std::size_t>(i)];
    const auto& r = points.errors[static_cast<std::size_t>(j)];
    const float* pa = points.pixel_squares[static_cast<std::size_t>(i)].data();
    const float* pb = points.pixel_squares[static_cast<std::size_t>(j)].data();
    const float* ee = points.squares[static_cast<std::size_t>(i)].data();
    const float* rr = points.squares[static_cast<std::size_t>(j)].data();
    for (int n = 0; n < dots; ++n) {
        const CrispMix mix = crisp_mix({e[0][n], e[1][n], e[2][n]}, {r[0][n], r[1][n], r[2][n]}, ee[n], rr[n], pa[n],
                                       pb[n], pixel_weight);
        costs[n] = points.weight[static_cast<std::size_t>(n)] * mix.cost;
    }
    return cell_total(costs, dots);
}

__attribute__((target_clones("avx2", "default"))) void crisp_cost_pairs_with(const CellPoints& points, int dots,
                                                                             int i, float pixel_weight,
                                                                             CellPairCosts& costs) {
    for (int j = i + 1; j < PALETTE_SIZE; ++j) {
        const int pair = pair_index[i][j];
        costs.totals[pair] = crisp_mix_costs(points, dots, i, j, pixel_weight, costs.pairs[pair].data());
    }
}

// The costs of the pairs of colour i with each later colour, in one call so
// that colour i's errors stay at hand.
__attribute__((target_clones("avx512f", "avx2", "default"))) void cost_pairs_with(const CellPoints& points, int dots,
                                                                                  int i, float grain,
                                                                                  CellPairCosts& costs) {
    for (int j = i + 1; j < PALETTE_SIZE; ++j) {
        const int pair = pair_index[i][j];
        costs.totals[pair] = mix_costs(points, dots, i, j, grain, costs.pairs[pair].data());
    }
}

__attribute__((target_clones("avx2", "default"))) float crisp_cost_pair(const CellPoints& points, int dots, int i, int j,
                                                                        float pixel_weight, float* costs) {
    return crisp_mix_costs(points, dots, i, j, pixel_weight, costs);
}

// A floor under a pair's crisp cost: every dot costs at least the true
// difference of the nearer of the two colours, weighed as the pixel term is.
__attribute__((target_clones("avx2", "default"))) float pixel_floor(const CellPoints& points, int dots, int i, int j,
                                                                    float pixel_weight) {
    const float* pa = points.pixel_squares[static_cast<std::size_t>(i)].data();
    const float* pb = points.pixel_squares[static_cast<std::size_t>(j)].data();
    std::array<float, MAX_CELL_DOTS> floors;
    for (int n = 0; n < dots; ++n) {
        floors[static_cast<std::size_t>(n)] = points.weight[static_cast<std::size_t>(n)] * std::min(pa[n], pb[n]);
    }
    return pixel_weight * cell_total(floors.data(), dots);
}

// Hires with crisp costs wants only a cell's best pair and its neighbours'
// pairs. A pair whose floor lies above the best cost found cannot be best and
// is left uncosted, its total the largest float: three in four pairs of a
// photo's cell. The pairs of must are always costed.
void compute_hires_crisp_costs(const DotGrid& grid, int cell, const ColourChoiceSettings& settings,
                               const DotPixelDifferences& pixel, const std::array<int, 2>& must,
                               CellPairCosts& costs) {
    CellPoints points;
    int count = 0;
    collect_cell_points(grid, cell, false, &pixel, points, count);
    costs.dots = count;
    std::array<float, PAIR_COUNT> floors;
    std::array<std::uint8_t, PAIR_COUNT> costed{};
    int lowest = -1;
    for (int pair = 0; pair < PAIR_COUNT; ++pair) {
        const auto [i, j] = pair_colours[static_cast<std::size_t>(pair)];
        costs.totals[pair] = std::numeric_limits<float>::max();
        if ((grid.allowed_colours >> i & 1u) == 0 || (grid.allowed_colours >> j & 1u) == 0) {
            costed[pair] = 1;
            continue;
        }
        floors[pair] = pixel_floor(points, count, i, j, settings.pixel_weight);
        if (lowest < 0 || floors[pair] < floors[lowest]) {
            lowest = pair;
        }
    }
    float best = std::numeric_limits<float>::max();
    const auto cost_pair = [&](int pair) {
        if (costed[pair] == 0) {
            costed[pair] = 1;
            const auto [i, j] = pair_colours[static_cast<std::size_t>(pair)];
            costs.totals[pair] = crisp_cost_pair(points, count, i, j, settings.pixel_weight, costs.pairs[pair].data());
            best = std::min(best, costs.totals[pair]);
        }
    };
    for (const int pair : must) {
        if (pair >= 0) {
            cost_pair(pair);
        }
    }
    if (lowest >= 0) {
        cost_pair(lowest);
    }
    // Rounding may take a total a little below its floor.
    constexpr float FLOOR_MARGIN = 1.0f - 1e-4f;
    for (int pair = 0; pair < PAIR_COUNT; ++pair) {
        if (costed[pair] == 0 && floors[pair] * FLOOR_MARGIN <= best) {
            cost_pair(pair);
        }
    }
}

void compute_pair_costs(const DotGrid& grid, int cell, const ColourChoiceSettings& settings, bool weigh_coverage,
                        const DotPixelDifferences* pixel, CellPairCosts& costs) {
    CellPoints points;
    int count = 0;
    const bool crisp = settings.pixel_weight > 0.0f && pixel != nullptr;
    collect_cell_points(grid, cell, weigh_coverage, crisp ? pixel : nullptr, points, count);
    for (int i = 0; i < PALETTE_SIZE; ++i) {
        if (crisp) {
            crisp_cost_pairs_with(points, count, i, settings.pixel_weight, costs);
        } else {
            cost_pairs_with(points, count, i, settings.grain, costs);
        }
    }
    costs.dots = count;
}

// Whether some dot costs nothing with both pairs; without an early exit, so
// that it runs over the dots together.
__attribute__((target_clones("avx2", "default"))) bool both_cost_nothing(const float* first, const float* second,
                                                                         int dots) {
    int found = 0;
    for (int n = 0; n < dots; ++n) {
        found |= static_cast<int>(first[n] == 0.0f) & static_cast<int>(second[n] == 0.0f);
    }
    return found != 0;
}

// Colours ranked by the best whole-cell cost of a pair they belong to.
std::array<int, PALETTE_SIZE> rank_colours(const CellPairCosts& costs, std::uint16_t allowed) {
    const auto& totals = costs.totals;
    std::array<float, PALETTE_SIZE> best;
    best.fill(std::numeric_limits<float>::max());
    for (int i = 0; i < PALETTE_SIZE; ++i) {
        for (int j = 0; j < PALETTE_SIZE; ++j) {
            if (i != j) {
                best[i] = std::min(best[i], totals[pair_index[i][j]]);
            }
        }
    }
    // A colour that some dot shows exactly comes first: a picture already in
    // the palette keeps its colours. Pairs cost nothing only where a dot
    // shows one of their colours, so two pairs sharing a colour tell.
    for (int i = 0; i < PALETTE_SIZE; ++i) {
        if (both_cost_nothing(costs.pairs[pair_index[i][i == 0 ? 1 : 0]].data(),
                              costs.pairs[pair_index[i][i <= 1 ? 2 : 1]].data(), costs.dots)) {
            best[i] = -1.0f;
        }
    }
    for (int i = 0; i < PALETTE_SIZE; ++i) {
        if ((allowed >> i & 1u) == 0) {
            best[i] = std::numeric_limits<float>::max();
        }
    }
    std::array<int, PALETTE_SIZE> order;
    for (int c = 0; c < PALETTE_SIZE; ++c) {
        order[c] = c;
    }
    // Insertion sort: stable, and sixteen colours need no buffer.
    for (int i = 1; i < PALETTE_SIZE; ++i) {
        const int colour = order[i];
        int j = i;
        for (; j > 0 && best[colour] < best[order[j - 1]]; --j) {
            order[j] = order[j - 1];
        }
        order[j] = colour;
    }
    return order;
}

// The cost of a cell shown with four colours: each dot takes its best pair.
template <int DOTS>
float set_cost_of(const CellPairCosts& costs, const std::array<int, 4>& set) {
    const float* rows[6] = {costs.pairs[pair_index[set[0]][set[1]]].data(), costs.pairs[pair_index[set[0]][set[2]]].data(),
                            costs.pairs[pair_index[set[0]][set[3]]].data(), costs.pairs[pair_index[set[1]][set[2]]].data(),
                            costs.pairs[pair_index[set[1]][set[3]]].data(), costs.pairs[pair_index[set[2]][set[3]]].data()};
    float best[DOTS];
    for (int n = 0; n < DOTS; ++n) {
        best[n] = std::min(std::min(std::min(rows[0][n], rows[1][n]), std::min(rows[2][n], rows[3][n])),
                           std::min(rows[4][n], rows[5][n]));
    }
    float total = 0.0f;
    for (int n = 0; n < DOTS; ++n) {
        total += best[n];
    }
    return total;
}

float set_cost(const CellPairCosts& costs, const std::array<int, 4>& set) {
    return costs.dots == 32 ? set_cost_of<32>(costs, set) : set_cost_of<64>(costs, set);
}

// The best three colours beside the background among the cell's candidates.
float best_multicolour_set(const CellPairCosts& costs, const std::array<int, PALETTE_SIZE>& ranking, int background,
                           int candidates, std::uint16_t allowed, CellColourSet& chosen) {
    std::array<int, PALETTE_SIZE> pool{};
    int size = 0;
    for (const int colour : ranking) {
        if (colour != background && size < candidates && (allowed >> colour & 1u) != 0) {
            pool[size++] = colour;
        }
    }
    // Fewer allowed colours than a cell holds: the first repeats.
    for (int fill = size; fill < 3; ++fill) {
        pool[fill] = pool[0];
    }
    size = std::max(size, 3);
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

CellColourSet best_hires_pair(const CellPairCosts& costs, std::uint16_t allowed) {
    CellColourSet chosen{};
    float best = std::numeric_limits<float>::max();
    for (int i = 0; i < PALETTE_SIZE; ++i) {
        for (int j = i + 1; j < PALETTE_SIZE; ++j) {
            if ((allowed >> i & 1u) == 0 || (allowed >> j & 1u) == 0) {
                continue;
            }
            const float cost = costs.totals[pair_index[i][j]];
            if (cost < best) {
                best = cost;
                chosen.colours = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(j), 0, 0};
            }
        }
    }
    return chosen;
}

}  // namespace

std::uint16_t candidate_bits(const std::array<int, PALETTE_SIZE>& ranking, int count, std::uint16_t allowed) {
    std::uint16_t bits = 0;
    for (int i = 0; i < count; ++i) {
        bits = static_cast<std::uint16_t>(bits | 1u << ranking[static_cast<std::size_t>(i)]);
    }
    return static_cast<std::uint16_t>(bits & allowed);
}

// The background is searched on a quarter of the cells, every other cell of
// every other row, staggered, with fewer candidates: what each background
// costs, not each cell's best set.
int search_background(const DotGrid& grid, const ColourChoiceSettings& settings, const DotPixelDifferences* pixel,
                      CellPairCosts& costs) {
    std::array<double, PALETTE_SIZE> totals{};
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        const int row = cell / CELLS_ACROSS;
        const int column = cell % CELLS_ACROSS;
        if (row % 2 != 0 || column % 2 != (row / 2) % 2) {
            continue;
        }
        compute_pair_costs(grid, cell, settings, true, pixel, costs);
        const auto ranking = rank_colours(costs, grid.allowed_colours);
        for (int candidate = 0; candidate < PALETTE_SIZE; ++candidate) {
            CellColourSet set{};
            totals[static_cast<std::size_t>(candidate)] +=
                (grid.allowed_colours >> candidate & 1u) == 0
                    ? std::numeric_limits<double>::max() / CELL_COUNT
                    : best_multicolour_set(costs, ranking, candidate, settings.search_candidates,
                                           grid.allowed_colours, set);
        }
    }
    return static_cast<int>(std::min_element(totals.begin(), totals.end()) - totals.begin());
}

// The colours of a cell's left or upper neighbour, when they show this cell
// within the tolerated cost: a smooth area then keeps the same colours from
// cell to cell, instead of blocks of near-equal choices.
void take_neighbour_colours(const DotGrid& grid, const CellPairCosts& costs, const CellColourSets& sets, int cell,
                            float tolerated, CellColourSet& chosen) {
    const int column = cell % CELLS_ACROSS;
    float best = tolerated;
    for (const int neighbour : {column > 0 ? cell - 1 : -1, cell - CELLS_ACROSS}) {
        if (neighbour < 0) {
            continue;
        }
        const auto& colours = sets.cells[static_cast<std::size_t>(neighbour)].colours;
        const float cost = grid.hires ? costs.totals[pair_index[colours[0]][colours[1]]]
                                      : set_cost(costs, {colours[0], colours[1], colours[2], colours[3]});
        if (cost <= best) {
            best = cost;
            chosen = sets.cells[static_cast<std::size_t>(neighbour)];
        }
    }
}

namespace {

// The pairs of a hires cell's left and upper neighbours, when it may take
// them, else -1.
std::array<int, 2> neighbour_pairs(const CellColourSets& sets, int cell, const ColourChoiceSettings& settings) {
    std::array<int, 2> pairs{-1, -1};
    if (settings.neighbour_tolerance <= 0.0f) {
        return pairs;
    }
    const auto pair_of = [&](int neighbour) {
        const auto& colours = sets.cells[static_cast<std::size_t>(neighbour)].colours;
        return pair_index[colours[0]][colours[1]];
    };
    if (cell % CELLS_ACROSS > 0) {
        pairs[0] = pair_of(cell - 1);
    }
    if (cell >= CELLS_ACROSS) {
        pairs[1] = pair_of(cell - CELLS_ACROSS);
    }
    return pairs;
}

}  // namespace

ErrorCode choose_cell_colours(const DotGrid& grid, const ColourChoiceSettings& settings, int background,
                              CellColourSets& sets, const DotPixelDifferences* pixel) {
    const auto costs = std::make_unique_for_overwrite<CellPairCosts>();
    if (!grid.hires && (background < 0 || background >= PALETTE_SIZE)) {
        background = search_background(grid, settings, pixel, *costs);
    }
    const bool hires_crisp = grid.hires && settings.pixel_weight > 0.0f && pixel != nullptr;
    for (int cell = 0; cell < CELL_COUNT; ++cell) {
        auto& chosen = sets.cells[static_cast<std::size_t>(cell)];
        float cost = 0.0f;
        if (grid.hires) {
            if (hires_crisp) {
                compute_hires_crisp_costs(grid, cell, settings, *pixel, neighbour_pairs(sets, cell, settings), *costs);
            } else {
                compute_pair_costs(grid, cell, settings, false, pixel, *costs);
            }
            chosen = best_hires_pair(*costs, grid.allowed_colours);
            cost = costs->totals[pair_index[chosen.colours[0]][chosen.colours[1]]];
            // No search refines a hires picture: its cells try no other colours.
            sets.candidates[static_cast<std::size_t>(cell)] =
                static_cast<std::uint16_t>(1u << chosen.colours[0] | 1u << chosen.colours[1]);
        } else {
            compute_pair_costs(grid, cell, settings, false, pixel, *costs);
            const auto ranking = rank_colours(*costs, grid.allowed_colours);
            sets.candidates[static_cast<std::size_t>(cell)] =
                candidate_bits(ranking, settings.refinement_candidates, grid.allowed_colours);
            cost = best_multicolour_set(*costs, ranking, background, settings.candidates, grid.allowed_colours, chosen);
        }
        if (settings.neighbour_tolerance > 0.0f) {
            take_neighbour_colours(grid, *costs, sets, cell, cost * (1.0f + settings.neighbour_tolerance), chosen);
        }
    }
    sets.background = grid.hires ? 0 : background;
    return ERR_SUCCESS;
}
