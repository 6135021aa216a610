// A dot shown by a mix of two colours, as crisp pixels judge it: the mix's
// tone is off by r - s (r - e), for e and r the dot's perceptual errors of
// colours a and b alone and s the share of a, and each of its dots is off by
// the true colour difference of a or b, whose squares pa and pb weigh by
// pixel_weight. The colour choice costs every pair so, the dither the pairs
// of a dot's cell; written once, branch-free, so that the choice's loop over
// a cell's dots stays in vectors.
#pragma once

#include <algorithm>

#include "convert/dot_grid.h"

struct CrispMix {
    float share;  // of colour a, 0 to 1
    float cost;
};

// ee and rr: the squares of e and r.
[[gnu::always_inline]] inline CrispMix crisp_mix(const Perceptual& e, const Perceptual& r, float ee, float rr,
                                                 float pa, float pb, float pixel_weight) {
    const float tone = 1.0f - pixel_weight;
    const float d0 = r[0] - e[0];
    const float d1 = r[1] - e[1];
    const float d2 = r[2] - e[2];
    const float dd = tone * (d0 * d0 + d1 * d1 + d2 * d2);
    const float b_alone = tone * rr + pixel_weight * pb;
    const float rd = tone * (r[0] * d0 + r[1] * d1 + r[2] * d2);
    const float linear = 2.0f * rd - pixel_weight * (pa - pb);
    // Two equal colours (dd 0) take the nearer, as their share then changes
    // nothing but the pixel term.
    const float share = linear / (2.0f * dd + 1e-12f);
    float cost = b_alone - share * linear + share * share * dd;
    // A colour alone costs its own terms, so that a dot shown exactly costs
    // exactly nothing.
    cost = share <= 0.0f ? b_alone : cost;
    cost = share >= 1.0f ? tone * ee + pixel_weight * pa : cost;
    return {std::min(std::max(share, 0.0f), 1.0f), std::max(0.0f, cost)};
}
