#include "driver/sample_width.h"

namespace asiochan {

std::int32_t sampleWidthOf(ASIOSampleType type) {
    // Compared unsigned, so negative codes fall in the "no width" group.
    switch (static_cast<std::uint32_t>(type)) {
        case ASIOSTInt16MSB:
        case ASIOSTInt16LSB:
            return 2;
        case ASIOSTInt24MSB:
        case ASIOSTInt24LSB:
            return 3;
        case ASIOSTInt32MSB:
        case ASIOSTInt32LSB:
        case ASIOSTFloat32MSB:
        case ASIOSTFloat32LSB:
        case ASIOSTInt32MSB16:
        case ASIOSTInt32MSB18:
        case ASIOSTInt32MSB20:
        case ASIOSTInt32MSB24:
        case ASIOSTInt32LSB16:
        case ASIOSTInt32LSB18:
        case ASIOSTInt32LSB20:
        case ASIOSTInt32LSB24:
            return 4;
        case ASIOSTFloat64MSB:
        case ASIOSTFloat64LSB:
            return 8;
        default:
            return 0;
    }
}

}  // namespace asiochan
