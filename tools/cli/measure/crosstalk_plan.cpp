#include "measure/crosstalk_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace cli {

std::size_t foldedBin(long long bin, std::size_t window) {
    const auto w = static_cast<long long>(window);
    long long m = std::llabs(bin) % w;
    if (m > w / 2) m = w - m;
    return static_cast<std::size_t>(m);
}

namespace {
class Plan {
public:
    explicit Plan(std::size_t window) : window_(window), isTone_(window / 2 + 1, 0), isProduct_(window / 2 + 1, 0) {}

    // Whether `t` can join: it is no product of the tones so far, no tone is
    // within 2 bins of it, and neither its harmonics nor its products with them
    // land on a tone (itself included).
    bool fits(std::size_t t) const {
        if (isProduct_[t]) return false;
        for (std::size_t d = t >= 2 ? t - 2 : 0; d <= t + 2 && d < isTone_.size(); ++d)
            if (isTone_[d]) return false;
        const auto lt = static_cast<long long>(t);
        for (long long h = 2; h <= 5; ++h) {
            const std::size_t b = foldedBin(h * lt, window_);
            if (b == t || isTone_[b]) return false;
        }
        for (std::size_t f : tones_) {
            const auto lf = static_cast<long long>(f);
            for (long long p : {lt + lf, lt - lf, 2 * lt + lf, 2 * lt - lf, lt + 2 * lf, lt - 2 * lf}) {
                const std::size_t b = foldedBin(p, window_);
                if (b == t || isTone_[b]) return false;
            }
        }
        return true;
    }

    void add(std::size_t t) {
        const auto lt = static_cast<long long>(t);
        for (long long h = 2; h <= 5; ++h) isProduct_[foldedBin(h * lt, window_)] = 1;
        for (std::size_t f : tones_) {
            const auto lf = static_cast<long long>(f);
            for (long long p : {lt + lf, lt - lf, 2 * lt + lf, 2 * lt - lf, lt + 2 * lf, lt - 2 * lf})
                isProduct_[foldedBin(p, window_)] = 1;
        }
        isTone_[t] = 1;
        tones_.push_back(t);
    }

    const std::vector<std::size_t>& tones() const { return tones_; }

private:
    std::size_t window_;
    std::vector<char> isTone_, isProduct_;
    std::vector<std::size_t> tones_;
};
}  // namespace

std::vector<std::size_t> planCrosstalkBins(std::size_t count, std::size_t window, double rate, double fromHz,
                                           double toHz) {
    if (count == 0 || count > 64 || window < 16 || !(rate > 0.0)) return {};
    const double perBin = rate / static_cast<double>(window);
    const auto lo = static_cast<long long>(std::ceil(fromHz / perBin));
    const auto hi = std::min(static_cast<long long>(std::floor(toHz / perBin)), static_cast<long long>(window / 2) - 1);
    if (lo < 1 || hi <= lo) return {};
    Plan plan(window);
    // Aim each tone at its place on a log scale and take the nearest bin that fits.
    for (std::size_t i = 0; i < count; ++i) {
        const double share = count == 1 ? 0.5 : (static_cast<double>(i) + 0.5) / static_cast<double>(count);
        const auto aim = static_cast<long long>(std::llround(static_cast<double>(lo) *
                                                            std::pow(static_cast<double>(hi) / lo, share)));
        bool placed = false;
        for (long long d = 0; !placed && (aim - d >= lo || aim + d <= hi); ++d) {
            for (long long t : {aim + d, aim - d}) {
                if (t < lo || t > hi || !plan.fits(static_cast<std::size_t>(t))) continue;
                plan.add(static_cast<std::size_t>(t));
                placed = true;
                break;
            }
        }
        if (!placed) return {};
    }
    return plan.tones();
}

}  // namespace cli
