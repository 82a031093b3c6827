#include "measure/mls.h"

#include <bit>
#include <cstdint>

namespace cli {

std::vector<double> maximumLengthSequence(int order) {
    // Primitive polynomials x^order + ... + 1, as the bits of their lower terms:
    // value k + order is the parity of the values k + j for every bit j set.
    struct Polynomial {
        int order;
        std::uint32_t lowerTerms;
    };
    static constexpr Polynomial kPolynomials[] = {
        {10, (1u << 3) | 1u},                           // x^10 + x^3 + 1
        {11, (1u << 2) | 1u},                           // x^11 + x^2 + 1
        {12, (1u << 6) | (1u << 4) | (1u << 1) | 1u},   // x^12 + x^6 + x^4 + x + 1
        {13, (1u << 4) | (1u << 3) | (1u << 1) | 1u},   // x^13 + x^4 + x^3 + x + 1
        {14, (1u << 10) | (1u << 6) | (1u << 1) | 1u},  // x^14 + x^10 + x^6 + x + 1
        {15, (1u << 1) | 1u},                           // x^15 + x + 1
        {16, (1u << 12) | (1u << 3) | (1u << 1) | 1u},  // x^16 + x^12 + x^3 + x + 1
    };
    std::uint32_t taps = 0;
    for (const Polynomial& p : kPolynomials)
        if (p.order == order) taps = p.lowerTerms;
    if (taps == 0) return {};
    const std::uint32_t length = (1u << order) - 1;
    std::vector<double> values;
    values.reserve(length);
    // Bit 0 of the register is the value going out; the new one comes in on top.
    std::uint32_t state = length;
    for (std::uint32_t i = 0; i < length; ++i) {
        values.push_back((state & 1u) != 0 ? 1.0 : -1.0);
        const std::uint32_t incoming = static_cast<std::uint32_t>(std::popcount(state & taps)) & 1u;
        state = (state >> 1) | (incoming << (order - 1));
    }
    return values;
}

}  // namespace cli
