#include "colour/least_cost_pairing.h"

#include <algorithm>
#include <limits>

// The Hungarian method with potentials, one row added at a time; its arrays
// count rows and columns from 1, leaving 0 for "none".
Pairing least_cost_pairing(const CostMatrix& matrix) {
    constexpr int COLUMNS = PAIRING_COLUMNS;
    if (matrix.rows < 0 || matrix.rows > COLUMNS) {
        return {std::numeric_limits<double>::infinity(), {}};
    }
    std::array<double, PAIRING_COLUMNS + 1> row_potential{};
    std::array<double, COLUMNS + 1> column_potential{};
    std::array<int, COLUMNS + 1> row_of_column{};  // 1-based row, 0 for none
    std::array<int, COLUMNS + 1> previous_column{};
    for (int row = 1; row <= matrix.rows; ++row) {
        row_of_column[0] = row;
        int column = 0;
        std::array<double, COLUMNS + 1> slack;
        slack.fill(std::numeric_limits<double>::infinity());
        std::array<bool, COLUMNS + 1> used{};
        do {
            used[column] = true;
            const int current_row = row_of_column[column];
            double delta = std::numeric_limits<double>::infinity();
            int next_column = 0;
            for (int j = 1; j <= COLUMNS; ++j) {
                if (used[j]) continue;
                const double reduced =
                    matrix.cost[current_row - 1][j - 1] - row_potential[current_row] - column_potential[j];
                if (reduced < slack[j]) {
                    slack[j] = reduced;
                    previous_column[j] = column;
                }
                if (slack[j] < delta) {
                    delta = slack[j];
                    next_column = j;
                }
            }
            for (int j = 0; j <= COLUMNS; ++j) {
                if (used[j]) {
                    row_potential[row_of_column[j]] += delta;
                    column_potential[j] -= delta;
                } else {
                    slack[j] -= delta;
                }
            }
            column = next_column;
        } while (row_of_column[column] != 0);
        do {
            const int previous = previous_column[column];
            row_of_column[column] = row_of_column[previous];
            column = previous;
        } while (column != 0);
    }
    Pairing pairing{};
    for (int j = 1; j <= COLUMNS; ++j) {
        if (row_of_column[j] != 0) {
            pairing.number[row_of_column[j] - 1] = static_cast<std::uint8_t>(j - 1);
            pairing.cost += matrix.cost[row_of_column[j] - 1][j - 1];
        }
    }
    return pairing;
}

bool same_numbering(const Pairing& a, const Pairing& b, int rows) {
    return std::equal(a.number.begin(), a.number.begin() + rows, b.number.begin());
}

bool same_partners(const Pairing& a, const Pairing& b, int rows) {
    std::uint32_t in_a = 0, in_b = 0;
    for (int d = 0; d < rows; ++d) {
        in_a |= 1u << a.number[d];
        in_b |= 1u << b.number[d];
    }
    return in_a == in_b;
}

int first_difference(const Pairing& a, const Pairing& b, int rows) {
    int d = 0;
    while (d < rows - 1 && a.number[d] == b.number[d]) ++d;
    return d;
}
