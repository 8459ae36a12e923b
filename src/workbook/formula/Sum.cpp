#include "workbook/formula/Sum.h"

#include "workbook/formula/Compare.h"

#include <array>
#include <cmath>

namespace markwell::formula {

namespace {

// The same step as the vector lanes compute it: the larger and smaller operands are picked by
// masking and adding to zero, which turns a -0 into +0 exactly as the vector code does.
void laneStep(double& sum, double& error, double value) {
    const double t = sum + value;
    const bool sumLarger = std::fabs(sum) >= std::fabs(value);
    const double larger = (sumLarger ? sum : 0.0) + (sumLarger ? 0.0 : value);
    const double smaller = (sumLarger ? value : 0.0) + (sumLarger ? 0.0 : sum);
    error = error + ((larger - t) + smaller);
    sum = t;
}

} // namespace

void CompensatedSum::add(const CompensatedSum& other) {
    add(other.m_sum);
    add(other.m_error);
    add(other.m_held);
}

double CompensatedSum::result() {
    const double total = m_sum + m_error;
    if (m_held == 0) {
        return total;
    }
    if (((m_held < 0 && total > 0) || (total < 0 && m_held > 0)) && approxEqual(m_held, -total)) {
        return 0.0;
    }
    step(m_sum, m_error, m_held);
    m_held = 0;
    return m_sum + m_error;
}

CompensatedSum sumRun(const double* values, std::size_t count) {
    std::size_t i = 0;
    CompensatedSum total;
    if (count > 7) {
        // Four accumulators of two lanes each: lane l of accumulator k takes values[8j + 2k + l].
        std::array<double, 8> sums{}, errors{};
        for (; i + 7 < count; i += 8) {
            for (std::size_t k = 0; k < 8; ++k) {
                laneStep(sums[k], errors[k], values[i + k]);
            }
        }
        // Accumulator pairs (1+2, 3+4, then 1+3), lane by lane: sums first, then errors.
        const auto fold = [&](std::size_t into, std::size_t from) {
            for (std::size_t lane = 0; lane < 2; ++lane) {
                laneStep(sums[into + lane], errors[into + lane], sums[from + lane]);
            }
            for (std::size_t lane = 0; lane < 2; ++lane) {
                laneStep(sums[into + lane], errors[into + lane], errors[from + lane]);
            }
        };
        fold(0, 2);
        fold(4, 6);
        fold(0, 4);
        double sum = sums[0], error = errors[0];
        CompensatedSum::step(sum, error, sums[1]);
        CompensatedSum::step(sum, error, errors[1]);
        total = CompensatedSum(sum, error);
    }
    for (; i < count; ++i) {
        total.add(values[i]);
    }
    total.result();
    return total;
}

} // namespace markwell::formula
