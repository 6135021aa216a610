// The least-cost one-to-one pairing of up to 16 colours with the 16 colours
// of a palette (the Hungarian method), and comparisons of two pairings.
#pragma once

#include <array>
#include <cstdint>

// A C64 palette holds 16 colours; a picture read by its colours pairs at most
// as many.
constexpr int PAIRING_COLUMNS = 16;

// The cost of pairing each row (a picture's colour) with each column (a
// palette colour). Rows from 0 to rows - 1 are used; rows <= PAIRING_COLUMNS.
struct CostMatrix {
    std::array<std::array<double, PAIRING_COLUMNS>, PAIRING_COLUMNS> cost;
    int rows;
};

struct Pairing {
    double cost;                                       // sum of the costs of the pairs
    std::array<std::uint8_t, PAIRING_COLUMNS> number;  // column paired with each row
};

// Pairs every row with a column of its own at the least total cost. A matrix
// whose rows are out of range pairs nothing, at an infinite cost.
Pairing least_cost_pairing(const CostMatrix& matrix);

// Whether two pairings give the first rows the same columns.
bool same_numbering(const Pairing& a, const Pairing& b, int rows);

// Whether two pairings use the same set of columns, in any order.
bool same_partners(const Pairing& a, const Pairing& b, int rows);

// The first row to which two pairings give different columns (the last row
// when they agree on all the others).
int first_difference(const Pairing& a, const Pairing& b, int rows);
