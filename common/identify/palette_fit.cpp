#include "identify/palette_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

#include "colour/colour_science.h"
#include "colour/least_cost_pairing.h"
#include "identify/library_colours.h"

namespace {

// How approximate colours are judged; the man page gives the same rule and
// the measurements that chose its bounds.
//
// Distances are CIELAB distances (sRGB, D65 white, the 1976 formula), a
// simple measure of how different two colours look; costs are sums of
// squared distances. An emulator's palette differs from a library palette
// mostly by one change of all its colours (lightness scaled and moved,
// chroma scaled and turned), so each palette is fitted the same way: the
// least-cost one-to-one pairing of the picture's colours (at most 16) with
// the palette's, then SHIFT_ROUNDS times the picture's colours shifted by
// the bounded least-squares change towards their partners and paired again.
// The reading is the numbering of the palette that fits best once shifted
// (never RGBI_PALETTE). It is accepted only when, with the bounds for the
// picture's number of colours (SMALL_COLOURS up to SMALL_PICTURE,
// FEW_COLOURS up to FEW_COLOURS_PICTURE, MORE_COLOURS beyond):
//   - every colour lies within shifted_bound of its partner once shifted,
//     and within plain_bound as it is;
//   - where same_before_shift, the palette's pairing before the shift was
//     the same;
//   - giving any one colour another partner (the others paired again, the
//     colours shifted again) costs more by at least least_rise, by
//     rise_by_mean times the mean cost a colour and, unless it only swaps
//     the picture's own partners, by rise_by_own times that colour's own
//     cost: the usual wrong reading is one colour moved to a nearby colour
//     the picture does not use;
//   - every palette whose shifted numbering differs fits worse once shifted
//     by palette_gap times the mean cost a colour, and every palette whose
//     plain pairing differs costs at least least_plain_gap more than the
//     cheapest plain pairing.
// Pictures of 2 to 4 colours fit some numbering of the 27 palettes by
// chance far more often, so their bounds are much tighter. Before all that,
// a picture of more than SMALL_PICTURE colours that lies within
// NEAR_EXACT_BOUND of one palette is read in it (below).
struct ApproximateBounds {
    double shifted_bound;
    double plain_bound;
    bool same_before_shift;
    double least_rise;
    double rise_by_own;
    double rise_by_mean;
    double palette_gap;
    double least_plain_gap;
};

constexpr int SMALL_PICTURE = 4;
constexpr int FEW_COLOURS_PICTURE = 6;
constexpr ApproximateBounds SMALL_COLOURS = {10.0, 20.0, true, 400.0, 4.0, 4.0, 50.0, 600.0};
constexpr ApproximateBounds FEW_COLOURS = {25.0, 45.0, false, 150.0, 0.5, 1.0, 30.0, 200.0};
constexpr double ANY_PLAIN_GAP = -std::numeric_limits<double>::infinity();
constexpr ApproximateBounds MORE_COLOURS = {30.0, 45.0, true, 150.0, 3.0, 1.2, 30.0, ANY_PLAIN_GAP};
// A picture whose colours all lie within NEAR_EXACT_BOUND of one palette's
// (a palette rounded differently, or a file's colours rounded) is read in
// that palette, as an exact one is, when no other palette holds them as
// near with other numbers.
constexpr double NEAR_EXACT_BOUND = 1.5;

constexpr double ALTERNATIVE_BOUND = 45.0;  // a plain pairing farther than this is no pairing
constexpr int SHIFT_ROUNDS = 3;
constexpr double SHIFT_LEAST_SCALE = 0.8;
constexpr double SHIFT_MOST_SCALE = 1.25;
constexpr double SHIFT_MOST_OFFSET = 20.0;
constexpr double SHIFT_LEAST_CHROMA = 0.6;
constexpr double SHIFT_MOST_CHROMA = 1.6;
constexpr double SHIFT_MOST_TURN = 20.0;  // degrees
// Palette 4 is the 16 colours of the PC's RGBI screen, which other programs
// also give the C64's numbers in another order (one emulator palette holds
// them, a few levels off, with orange, brown and the greys elsewhere): a
// picture near them is never read approximately in palette 4, though its
// numbering still counts as another reading that may refuse one.
constexpr int RGBI_PALETTE = 4;
constexpr double NO_PAIRING = 1e9;  // cost of a pair further apart than ALTERNATIVE_BOUND
// A picture of black, white and greys alone does not tell its palette, and
// emulators' palettes give one grey different numbers (9F9F9F is light grey
// in one and grey in another): an exact reading of greys is refused when
// another palette pairs them, at no more than GREYS_DOUBT_BOUND, with
// other numbers.
constexpr double GREYS_DOUBT_BOUND = 400.0;

using ImageLabs = std::array<LabColour, C64_COLOUR_COUNT>;  // the image's distinct colours
static_assert(PAIRING_COLUMNS == C64_COLOUR_COUNT, "a palette is paired whole");

// A global change of a palette's colours, the way emulators' palettes differ
// from one another: lightness scaled and moved, chroma scaled and turned
// (a complex factor on a* + i b*).
struct ColourShift {
    double lightness_scale;
    double lightness_offset;
    double chroma_re;
    double chroma_im;
};

LabColour shifted(const LabColour& colour, const ColourShift& shift) {
    return {shift.lightness_scale * colour.l + shift.lightness_offset,
            shift.chroma_re * colour.a - shift.chroma_im * colour.b,
            shift.chroma_im * colour.a + shift.chroma_re * colour.b};
}

// The least-squares shift taking the image's colours to their partners in a
// numbering, held within the SHIFT bounds so that it cannot bend one
// numbering into another.
ColourShift fit_shift(const ImageLabs& colours, const Pairing& pairing, int palette, int rows) {
    const auto& partners = palette_labs()[palette];
    double mean_x = 0.0;
    double mean_y = 0.0;
    for (int d = 0; d < rows; ++d) {
        mean_x += colours[d].l;
        mean_y += partners[pairing.number[d]].l;
    }
    mean_x /= rows;
    mean_y /= rows;
    double covariance = 0.0, variance = 0.0, cross_re = 0.0, cross_im = 0.0, chroma = 0.0;
    for (int d = 0; d < rows; ++d) {
        const LabColour& x = colours[d];
        const LabColour& y = partners[pairing.number[d]];
        covariance += (x.l - mean_x) * (y.l - mean_y);
        variance += (x.l - mean_x) * (x.l - mean_x);
        cross_re += x.a * y.a + x.b * y.b;
        cross_im += x.a * y.b - x.b * y.a;
        chroma += x.a * x.a + x.b * x.b;
    }
    ColourShift shift{1.0, 0.0, 1.0, 0.0};
    if (variance > 1.0) {
        shift.lightness_scale = std::clamp(covariance / variance, SHIFT_LEAST_SCALE, SHIFT_MOST_SCALE);
    }
    shift.lightness_offset =
        std::clamp(mean_y - shift.lightness_scale * mean_x, -SHIFT_MOST_OFFSET, SHIFT_MOST_OFFSET);
    if (chroma > 1.0) {
        const double scale = std::clamp(std::hypot(cross_re, cross_im) / chroma, SHIFT_LEAST_CHROMA, SHIFT_MOST_CHROMA);
        const double most_turn = SHIFT_MOST_TURN * std::numbers::pi / 180.0;
        const double turn = std::clamp(std::atan2(cross_im, cross_re), -most_turn, most_turn);
        shift.chroma_re = scale * std::cos(turn);
        shift.chroma_im = scale * std::sin(turn);
    }
    return shift;
}

// The squared distances of the image's colours, shifted, to a palette's.
void fill_shifted_costs(const ImageLabs& colours, const ColourShift& shift, int palette, int rows,
                        CostMatrix& matrix) {
    const auto& labs = palette_labs()[palette];
    matrix.rows = rows;
    for (int d = 0; d < rows; ++d) {
        const LabColour moved = shifted(colours[d], shift);
        for (int c = 0; c < C64_COLOUR_COUNT; ++c) matrix.cost[d][c] = squared_lab_distance(moved, labs[c]);
    }
}

// The cost of a numbering once the image's colours are shifted to fit it.
double cost_after_shift(const ImageLabs& colours, const Pairing& pairing, int palette, int rows) {
    const auto& partners = palette_labs()[palette];
    const ColourShift shift = fit_shift(colours, pairing, palette, rows);
    double cost = 0.0;
    for (int d = 0; d < rows; ++d) cost += squared_lab_distance(shifted(colours[d], shift), partners[pairing.number[d]]);
    return cost;
}

// How one palette fits the picture.
struct PaletteFit {
    Pairing plain;       // least-cost pairing of the colours as they are
    Pairing numbering;   // after the shift rounds; its cost is the cost once shifted
    // The best palette's only: the least rise in cost over every other
    // numbering that gives one colour another partner, short of what the
    // bounds ask of that colour.
    double least_rise_shortfall;
    int doubtful_entry;  // that colour, and its partner in that numbering
    int doubtful_number;
};

// The work of one approximate reading, allocated once.
struct ApproximateWork {
    std::array<CostMatrix, PALETTES> plain;  // as the colours are, NO_PAIRING beyond ALTERNATIVE_BOUND
    CostMatrix shifted;
    CostMatrix constrained;
    std::array<PaletteFit, PALETTES> fits;
};

void build_cost_matrices(const DistinctColours& distinct, ImageLabs& colours, ApproximateWork& work) {
    const PaletteLabs& labs = palette_labs();
    constexpr double far = ALTERNATIVE_BOUND * ALTERNATIVE_BOUND;
    for (int d = 0; d < distinct.count; ++d) {
        colours[d] = lab_from_rgb(distinct.colours[d]);
        for (int p = 0; p < PALETTES; ++p) {
            for (int c = 0; c < C64_COLOUR_COUNT; ++c) {
                const double cost = squared_lab_distance(colours[d], labs[p][c]);
                work.plain[p].cost[d][c] = cost <= far ? cost : NO_PAIRING;
            }
        }
    }
    for (auto& matrix : work.plain) matrix.rows = distinct.count;
}

const ApproximateBounds& bounds_for(int rows) {
    return rows <= SMALL_PICTURE ? SMALL_COLOURS : rows <= FEW_COLOURS_PICTURE ? FEW_COLOURS : MORE_COLOURS;
}

// Each numbering that gives one colour another partner, the others paired
// again with the same shift and then the colours shifted again to fit it:
// how much more it costs than the fit's own, against what the bounds ask.
void judge_one_colour_changes(const ImageLabs& colours, int palette, const ApproximateBounds& bounds,
                              ApproximateWork& work, PaletteFit& fit) {
    const int rows = work.shifted.rows;
    const double mean = fit.numbering.cost / rows;
    fit.least_rise_shortfall = std::numeric_limits<double>::infinity();
    for (int d = 0; d < rows; ++d) {
        work.constrained = work.shifted;
        work.constrained.cost[d][fit.numbering.number[d]] = NO_PAIRING;
        const Pairing other = least_cost_pairing(work.constrained);
        const double rise =
            std::min(other.cost, cost_after_shift(colours, other, palette, rows)) - fit.numbering.cost;
        const double own = work.shifted.cost[d][fit.numbering.number[d]];
        // A swap among the picture's own partners moves two colours, not one.
        const double by_own = same_partners(other, fit.numbering, rows) ? 0.0 : bounds.rise_by_own * std::max(1.0, own);
        const double asked =
            std::max({bounds.least_rise, by_own, bounds.rise_by_mean * std::max(1.0, mean)});
        if (rise - asked < fit.least_rise_shortfall) {
            fit.least_rise_shortfall = rise - asked;
            fit.doubtful_entry = d;
            fit.doubtful_number = other.number[d];
        }
    }
}

// Fits one palette: pairs, then shifts and pairs again SHIFT_ROUNDS times.
// False when some colour has no partner within ALTERNATIVE_BOUND.
bool fit_palette(const ImageLabs& colours, int palette, ApproximateWork& work, PaletteFit& fit) {
    const int rows = work.plain[palette].rows;
    fit.plain = least_cost_pairing(work.plain[palette]);
    if (fit.plain.cost >= NO_PAIRING) return false;
    Pairing numbering = fit.plain;
    for (int round = 0; round <= SHIFT_ROUNDS; ++round) {
        fill_shifted_costs(colours, fit_shift(colours, numbering, palette, rows), palette, rows, work.shifted);
        if (round < SHIFT_ROUNDS) numbering = least_cost_pairing(work.shifted);
    }
    fit.numbering = numbering;
    fit.numbering.cost = 0.0;
    for (int d = 0; d < rows; ++d) fit.numbering.cost += work.shifted.cost[d][numbering.number[d]];
    return true;
}

Doubt doubt_between(const Pairing& reading, int palette, const Pairing& other, int other_palette, int rows) {
    const int d = first_difference(reading, other, rows);
    return {UnknownReason::not_clear, d, palette, reading.number[d], other_palette, other.number[d], 0.0};
}

// Every colour of the reading lies within the bounds of its partner, as it
// is and once shifted; else the first that does not.
bool colours_lie_near(const ImageLabs& colours, int best, int rows, const ApproximateBounds& bounds,
                      const ApproximateWork& work, Doubt& doubt) {
    const PaletteFit& reading = work.fits[best];
    const auto& partners = palette_labs()[best];
    for (int d = 0; d < rows; ++d) {
        const int number = reading.numbering.number[d];
        const double plain = squared_lab_distance(colours[d], partners[number]);
        if (plain > bounds.plain_bound * bounds.plain_bound ||
            work.shifted.cost[d][number] > bounds.shifted_bound * bounds.shifted_bound) {
            doubt = {UnknownReason::far_from_library, d, best, number, -1, -1, std::sqrt(plain)};
            return false;
        }
    }
    return true;
}

// The palettes' fits say the reading is clear, or why it is not.
bool judge_reading(const ImageLabs& colours, int best, int rows, const ApproximateBounds& bounds,
                   const ApproximateWork& work, Doubt& doubt) {
    if (!colours_lie_near(colours, best, rows, bounds, work, doubt)) return false;
    const PaletteFit& reading = work.fits[best];
    const double mean = reading.numbering.cost / rows;
    if (bounds.same_before_shift && !same_numbering(reading.plain, reading.numbering, rows)) {
        doubt = doubt_between(reading.numbering, best, reading.plain, best, rows);
        return false;
    }
    if (reading.least_rise_shortfall < 0.0) {
        const int d = reading.doubtful_entry;
        doubt = {UnknownReason::not_clear, d, best, reading.numbering.number[d], best, reading.doubtful_number, 0.0};
        return false;
    }
    double cheapest_plain = NO_PAIRING;
    for (int p = 0; p < PALETTES; ++p) {
        if (p != RGBI_PALETTE) cheapest_plain = std::min(cheapest_plain, work.fits[p].plain.cost);
    }
    for (int p = 0; p < PALETTES; ++p) {
        const PaletteFit& other = work.fits[p];
        if (other.plain.cost >= NO_PAIRING) continue;
        if (!same_numbering(other.numbering, reading.numbering, rows) &&
            other.numbering.cost - reading.numbering.cost < bounds.palette_gap * mean) {
            doubt = doubt_between(reading.numbering, best, other.numbering, p, rows);
            return false;
        }
        if (!same_numbering(other.plain, reading.numbering, rows) &&
            other.plain.cost - cheapest_plain < bounds.least_plain_gap) {
            doubt = doubt_between(reading.numbering, best, other.plain, p, rows);
            return false;
        }
    }
    return true;
}

// Whether every colour lies within NEAR_EXACT_BOUND of its partner as it is.
bool nearly_exact(const Pairing& pairing, const CostMatrix& plain, int rows) {
    for (int d = 0; d < rows; ++d) {
        if (plain.cost[d][pairing.number[d]] > NEAR_EXACT_BOUND * NEAR_EXACT_BOUND) return false;
    }
    return true;
}

bool read_nearly_exactly(int rows, const ApproximateWork& work, NumberTable& numbers, int& palette) {
    int found = -1;
    for (int p = 0; p < PALETTES; ++p) {
        const PaletteFit& fit = work.fits[p];
        if (fit.plain.cost >= NO_PAIRING || !nearly_exact(fit.plain, work.plain[p], rows)) continue;
        if (found >= 0 && !same_numbering(fit.plain, work.fits[found].plain, rows)) return false;
        if (found < 0 || (found == RGBI_PALETTE && p != RGBI_PALETTE)) found = p;
    }
    if (found < 0 || found == RGBI_PALETTE) return false;
    for (int d = 0; d < rows; ++d) numbers[d] = work.fits[found].plain.number[d];
    palette = found;
    return true;
}

}  // namespace

bool read_approximately(const DistinctColours& distinct, NumberTable& numbers, int& palette, Doubt& doubt) {
    doubt = {UnknownReason::colour, 0, -1, -1, -1, -1, 0.0};
    if (distinct.overflow || distinct.count == 0 || distinct.count > C64_COLOUR_COUNT) return false;
    const int rows = distinct.count;
    const ApproximateBounds& bounds = bounds_for(rows);
    auto work = std::make_unique<ApproximateWork>();
    ImageLabs colours;
    build_cost_matrices(distinct, colours, *work);
    int best = -1;
    for (int p = 0; p < PALETTES; ++p) {
        PaletteFit& fit = work->fits[p];
        if (!fit_palette(colours, p, *work, fit)) {
            fit.plain.cost = NO_PAIRING;
            continue;
        }
        if (p != RGBI_PALETTE && (best < 0 || fit.numbering.cost < work->fits[best].numbering.cost)) best = p;
    }
    if (best < 0) return false;
    if (rows > SMALL_PICTURE && read_nearly_exactly(rows, *work, numbers, palette)) return true;
    // The best palette's costs once shifted, for the bounds of each colour.
    const PaletteFit& reading = work->fits[best];
    fill_shifted_costs(colours, fit_shift(colours, reading.numbering, best, rows), best, rows, work->shifted);
    judge_one_colour_changes(colours, best, bounds, *work, work->fits[best]);
    if (!judge_reading(colours, best, rows, bounds, *work, doubt)) return false;
    for (int d = 0; d < rows; ++d) numbers[d] = reading.numbering.number[d];
    palette = best;
    return true;
}

// Whether every colour is a grey (black and white included).
bool only_greys(const DistinctColours& distinct) {
    for (int d = 0; d < distinct.count; ++d) {
        const std::uint32_t c = distinct.colours[d];
        if ((c >> 16 & 0xFF) != (c >> 8 & 0xFF) || (c >> 8 & 0xFF) != (c & 0xFF)) return false;
    }
    return true;
}

// An exact reading of greys alone, doubted when a palette that does not hold
// them all pairs them with other numbers at no more than GREYS_DOUBT_BOUND.
bool exact_greys_in_doubt(const DistinctColours& distinct, const NumberTable& numbers, int palette, Doubt& doubt) {
    if (!only_greys(distinct)) return false;
    const int rows = distinct.count;
    auto work = std::make_unique<ApproximateWork>();
    ImageLabs colours;
    build_cost_matrices(distinct, colours, *work);
    Pairing exact{};
    for (int d = 0; d < rows; ++d) exact.number[d] = numbers[d];
    for (int p = 0; p < PALETTES; ++p) {
        if (distinct.common_palettes >> p & 1) continue;
        const Pairing other = least_cost_pairing(work->plain[p]);
        if (other.cost <= GREYS_DOUBT_BOUND && !same_numbering(other, exact, rows)) {
            doubt = doubt_between(exact, palette, other, p, rows);
            doubt.reason = UnknownReason::greys_only;
            return true;
        }
    }
    return false;
}
