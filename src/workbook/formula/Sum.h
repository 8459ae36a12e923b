#pragma once

#include <cmath>
#include <cstddef>

namespace markwell::formula {

// A running sum kept the way LibreOffice keeps it, so that our totals and averages equal its
// recalculation bit for bit: Neumaier's compensated summation (a sum and the rounding error it
// has collected), with the latest addend held back. The held addend joins the sum at the next
// add(); result() adds it last, and gives exactly 0 when it cancels the rest to within
// approxEqual (so 0.1 + 0.2 - 0.3 sums to 0).
class CompensatedSum {
public:
    CompensatedSum() = default;
    CompensatedSum(double sum, double error) : m_sum(sum), m_error(error) {}

    // Zeros are skipped.
    void add(double x) {
        if (x == 0) {
            return;
        }
        if (m_held != 0) {
            step(m_sum, m_error, m_held);
        }
        m_held = x;
    }
    // Another sum's parts, one after another: its sum, its error, its held addend.
    void add(const CompensatedSum& other);

    // The total. Unless it is the cancelling case, the held addend is folded into the sum for
    // good, as later additions expect.
    double result();

    // One step of Neumaier's summation: sum += value, the rounding error of that addition collected.
    static void step(double& sum, double& error, double value) {
        const double t = sum + value;
        if (std::fabs(sum) >= std::fabs(value)) {
            error += (sum - t) + value;
        } else {
            error += (value - t) + sum;
        }
        sum = t;
    }

private:
    double m_sum = 0;
    double m_error = 0;
    double m_held = 0;
};

// The sum of a run of numbers, the way LibreOffice adds a block of adjacent numeric cells of one
// column: from eight numbers on, four pairs of lanes each keep their own compensated sum of every
// eighth number (as its SSE2 loop does), the lanes are then combined, and the rest is added
// one by one.
CompensatedSum sumRun(const double* values, std::size_t count);

} // namespace markwell::formula
