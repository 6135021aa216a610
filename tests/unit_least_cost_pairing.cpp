// The least-cost pairing against known optima and against trying every pairing.
#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "colour/least_cost_pairing.h"

namespace {

// Every column costs 100 but for the ones given.
CostMatrix matrix_of(int rows, std::initializer_list<std::initializer_list<double>> firsts) {
    CostMatrix matrix{};
    matrix.rows = rows;
    for (auto& row : matrix.cost) row.fill(100.0);
    int r = 0;
    for (const auto& costs : firsts) {
        std::copy(costs.begin(), costs.end(), matrix.cost[static_cast<std::size_t>(r++)].begin());
    }
    return matrix;
}

// The cheapest pairing by trying them all (rows columns chosen in order).
double cheapest_by_trying(const CostMatrix& matrix, int row, std::uint32_t taken) {
    if (row == matrix.rows) return 0.0;
    double best = std::numeric_limits<double>::infinity();
    for (int column = 0; column < PAIRING_COLUMNS; ++column) {
        if (taken >> column & 1) continue;
        best = std::min(best, matrix.cost[row][column] + cheapest_by_trying(matrix, row + 1, taken | 1u << column));
    }
    return best;
}

TEST(LeastCostPairing, GreedyChoiceIsNotTheOptimum) {
    // Row 0 alone would take column 0 (cost 1); together 0->1 and 1->0 cost 2 + 2.
    const Pairing pairing = least_cost_pairing(matrix_of(2, {{1, 2}, {2, 50}}));
    EXPECT_EQ(pairing.number[0], 1);
    EXPECT_EQ(pairing.number[1], 0);
    EXPECT_DOUBLE_EQ(pairing.cost, 4.0);

    // Three rows that all want column 2 most.
    const Pairing three = least_cost_pairing(matrix_of(3, {{9, 8, 1}, {7, 9, 2}, {9, 3, 4}}));
    EXPECT_EQ((std::array{three.number[0], three.number[1], three.number[2]}), (std::array<std::uint8_t, 3>{2, 0, 1}));
    EXPECT_DOUBLE_EQ(three.cost, 1.0 + 7.0 + 3.0);
}

TEST(LeastCostPairing, MatchesTryingEveryPairingOnRandomCosts) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> cost(0.0, 1000.0);
    for (int trial = 0; trial < 60; ++trial) {
        CostMatrix matrix{};
        matrix.rows = 1 + trial % 4;
        for (auto& row : matrix.cost) {
            for (double& c : row) c = cost(random);
        }
        const Pairing pairing = least_cost_pairing(matrix);
        const std::set<int> columns(pairing.number.begin(), pairing.number.begin() + matrix.rows);
        ASSERT_EQ(columns.size(), static_cast<std::size_t>(matrix.rows)) << "trial " << trial;
        double own = 0.0;
        for (int r = 0; r < matrix.rows; ++r) own += matrix.cost[r][pairing.number[r]];
        EXPECT_NEAR(pairing.cost, own, 1e-9);
        EXPECT_NEAR(pairing.cost, cheapest_by_trying(matrix, 0, 0), 1e-9) << "trial " << trial;
    }
}

TEST(LeastCostPairing, FullSquareAndRowsOutOfRange) {
    // 16 rows, each cheapest on the column 15 - row: the anti-diagonal.
    CostMatrix matrix{};
    matrix.rows = PAIRING_COLUMNS;
    for (int r = 0; r < PAIRING_COLUMNS; ++r) {
        for (int c = 0; c < PAIRING_COLUMNS; ++c) matrix.cost[r][c] = std::abs(15 - r - c);
    }
    const Pairing pairing = least_cost_pairing(matrix);
    EXPECT_DOUBLE_EQ(pairing.cost, 0.0);
    for (int r = 0; r < PAIRING_COLUMNS; ++r) EXPECT_EQ(pairing.number[r], 15 - r);

    matrix.rows = PAIRING_COLUMNS + 1;
    EXPECT_TRUE(std::isinf(least_cost_pairing(matrix).cost));
    matrix.rows = -1;
    EXPECT_TRUE(std::isinf(least_cost_pairing(matrix).cost));
}

TEST(LeastCostPairing, ComparisonsOfTwoPairings) {
    Pairing a{0.0, {3, 5, 7}};
    Pairing b{0.0, {3, 7, 5}};
    EXPECT_FALSE(same_numbering(a, b, 3));
    EXPECT_TRUE(same_numbering(a, b, 1));
    EXPECT_TRUE(same_partners(a, b, 3));  // a swap among the same columns
    EXPECT_EQ(first_difference(a, b, 3), 1);
    b.number[2] = 9;
    EXPECT_FALSE(same_partners(a, b, 3));
    EXPECT_EQ(first_difference(a, a, 3), 2);  // agreeing pairings name the last row
}

}  // namespace
