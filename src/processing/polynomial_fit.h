// Least-squares polynomial fit of one image row against the column index,
// degree 2 to 5, by the normal equations and Gauss-Jordan elimination
// without pivoting; and "5th function approximation", which replaces every
// row by its fit.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/fits_image.h"
#include "core/platform.h"
#include "core/undo.h"

namespace lv {

// The augmented normal-equation matrix, rows 0..5, columns 0..10. After a fit
// of degree k, column k + 1 holds the coefficients, highest power first.
using FitMatrix = std::array<std::array<double, 11>, 6>;

struct FitState {
    int degree = 5;  // fitDegree
    FitMatrix matrix{};
};

// x^p of every column index x = 0 .. columns - 1 for p = 0 .. 10, and
// their sums S_p. Made once for rows of one length.
struct ColumnPowers {
    std::vector<std::array<double, 11>> powers;  // [x][p]
    std::array<double, 11> sums{};               // S_0 = columns
};
ColumnPowers columnPowers(int columns);

// Fits row `row` with `degree` (2 ... 5). Returns false when the row has
// fewer pixels than coefficients (the matrix untouched) or a pivot is 0 or
// not finite (the matrix as the failed elimination left it).
bool fitRow(const FitsImage& image, int row, int degree, FitMatrix& matrix);
bool fitRow(const FitsImage& image, int row, int degree, const ColumnPowers& powers, FitMatrix& matrix);

// P(x) = sum over i of coefficient i times x^(degree - i), of the last fit.
double fittedValue(const FitMatrix& matrix, int degree, double x);
// The same at a column, with its powers from the table.
double fittedValue(const FitMatrix& matrix, int degree, const std::array<double, 11>& powersOfX);

// "y = c5 x^5 + ... + c0": the fitted polynomial as text.
std::string polynomialText(const FitMatrix& matrix, int degree);
// The same text cut into its terms ("y = c x^5", " + c x^4", ...), which
// joined give polynomialText, for a window that shows one term a line.
std::vector<std::string> polynomialTerms(const FitMatrix& matrix, int degree);

inline constexpr const char* kZeroPivotMessage =
    "The row has fewer pixels than the polynomial has coefficients: nothing was changed";

// "5th function approximation": every row replaced by its fifth-degree fit,
// rounded halves to even and held in the 32-bit range. No question, no
// redraw; "completion" at the end. lineRow is left at the last row. Returns
// false (image unchanged, no snapshot) when the rows are too short to fit.
bool fifthFunctionApproximation(FitsImage& image, UndoBuffer& undo, FitState& fit, std::int32_t& lineRow,
                                Platform& platform);

}  // namespace lv
