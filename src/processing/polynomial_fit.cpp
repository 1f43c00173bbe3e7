#include "processing/polynomial_fit.h"

#include <algorithm>
#include <cmath>

#include "core/conventions.h"
#include "processing/filters.h"

namespace lv {

ColumnPowers columnPowers(int columns)
{
    ColumnPowers c;
    c.powers.resize(static_cast<std::size_t>(std::max(columns, 0)));
    c.sums[0] = columns;
    for (int x = 0; x < columns; ++x) {
        auto& p = c.powers[static_cast<std::size_t>(x)];
        for (int k = 0; k <= 10; ++k) {
            p[static_cast<std::size_t>(k)] = std::pow(static_cast<double>(x), k);
            if (k > 0) c.sums[static_cast<std::size_t>(k)] += p[static_cast<std::size_t>(k)];
        }
    }
    return c;
}

bool fitRow(const FitsImage& image, int row, int degree, const ColumnPowers& c, FitMatrix& m)
{
    if (degree < 2 || degree > 5 || row < 0 || row >= image.naxis2) return false;
    if (static_cast<int>(c.powers.size()) != image.naxis1) return false;
    const int k = degree;
    const int n = k + 1;
    // Fewer pixels than coefficients make the matrix singular, but rounding
    // can leave its last pivot tiny instead of 0: refuse on the count.
    if (image.naxis1 < n) return false;
    std::array<double, 6> t{};
    const std::int32_t* pixels = image.plane(0) + static_cast<std::size_t>(row) * static_cast<std::size_t>(image.naxis1);
    for (int x = 0; x < image.naxis1; ++x) {
        const double y = pixels[x];
        const auto& p = c.powers[static_cast<std::size_t>(x)];
        for (int q = 0; q <= 5; ++q) t[static_cast<std::size_t>(q)] += y * p[static_cast<std::size_t>(q)];
    }
    const auto& s = c.sums;
    for (int i = 0; i <= k; ++i) {
        for (int j = 0; j <= k; ++j)
            m[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = s[static_cast<std::size_t>(2 * k - i - j)];
        m[static_cast<std::size_t>(i)][static_cast<std::size_t>(n)] = t[static_cast<std::size_t>(k - i)];
    }
    for (int i = 0; i < n; ++i) {
        auto& pivotRow = m[static_cast<std::size_t>(i)];
        const double p = pivotRow[static_cast<std::size_t>(i)];
        if (p == 0 || !std::isfinite(p)) return false;
        for (int j = i; j <= n; ++j) pivotRow[static_cast<std::size_t>(j)] /= p;
        for (int q = 0; q < n; ++q) {
            if (q == i) continue;
            auto& other = m[static_cast<std::size_t>(q)];
            const double f = other[static_cast<std::size_t>(i)];
            for (int j = i; j <= n; ++j) other[static_cast<std::size_t>(j)] -= pivotRow[static_cast<std::size_t>(j)] * f;
        }
    }
    return true;
}

bool fitRow(const FitsImage& image, int row, int degree, FitMatrix& matrix)
{
    return fitRow(image, row, degree, columnPowers(image.naxis1), matrix);
}

double fittedValue(const FitMatrix& m, int degree, const std::array<double, 11>& p)
{
    double v = 0;
    for (int i = 0; i <= degree; ++i)
        v += m[static_cast<std::size_t>(i)][static_cast<std::size_t>(degree + 1)] * p[static_cast<std::size_t>(degree - i)];
    return v;
}

double fittedValue(const FitMatrix& m, int degree, double x)
{
    double v = 0;
    for (int i = 0; i <= degree; ++i)
        v += m[static_cast<std::size_t>(i)][static_cast<std::size_t>(degree + 1)] * std::pow(x, degree - i);
    return v;
}

std::vector<std::string> polynomialTerms(const FitMatrix& m, int degree)
{
    std::vector<std::string> terms;
    for (int i = 0; i <= degree; ++i) {
        const double c = m[static_cast<std::size_t>(i)][static_cast<std::size_t>(degree + 1)];
        const int power = degree - i;
        // numberText leaves a space before a value that is not negative.
        std::string term = i == 0 ? "y =" : c < 0 ? " " : " +";
        term += numberText(c);
        if (power > 1) term += " x^" + plainNumberText(power);
        if (power == 1) term += " x";
        terms.push_back(term);
    }
    return terms;
}

std::string polynomialText(const FitMatrix& m, int degree)
{
    std::string out;
    for (const std::string& term : polynomialTerms(m, degree)) out += term;
    return out;
}

bool fifthFunctionApproximation(FitsImage& image, UndoBuffer& undo, FitState& fit, std::int32_t& lineRow,
                                Platform& platform)
{
    if (!image.loaded()) return false;
    // The pivots come from the column indices alone: one trial tells whether
    // every row can be fitted.
    FitMatrix trial{};
    const ColumnPowers powers = columnPowers(image.naxis1);
    if (!fitRow(image, 0, 5, powers, trial)) {
        platform.message(kZeroPivotMessage);
        return false;
    }
    {
        BusyPointer busy(platform);
        undo.takeSnapshot(image);
        fit.degree = 5;
        for (int r = 0; r < image.naxis2; ++r) {
            lineRow = r;
            fitRow(image, r, 5, powers, fit.matrix);
            std::int32_t* row = &image.at(0, r);
            for (int c = 0; c < image.naxis1; ++c)
                row[c] = toInt32Saturated(roundHalfEven(fittedValue(fit.matrix, 5, powers.powers[static_cast<std::size_t>(c)])));
        }
        image.settleBlanks();
    }
    platform.message(kCompletionMessage);
    return true;
}

}  // namespace lv
