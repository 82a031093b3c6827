/* Compiles the public header as C with every warning as an error. */
#include "asiochan.h"

#include <stddef.h>

/* CaptureRequest holds a pointer: 12 bytes in 32-bit code, 16 in 64-bit code. */
#if defined(_WIN64)
#define CAPTURE_REQUEST_SIZE 16
#else
#define CAPTURE_REQUEST_SIZE 12
#endif
typedef char capture_request_size[sizeof(CaptureRequest) == CAPTURE_REQUEST_SIZE ? 1 : -1];
typedef char capture_request_fields[offsetof(CaptureRequest, byteLength) == sizeof(void*) &&
                                            offsetof(CaptureRequest, channel) == sizeof(void*) + 4
                                        ? 1
                                        : -1];
typedef char channel_info_is_52_bytes[sizeof(AsiochanChannelInfo) == 52 ? 1 : -1];
typedef char name_at_20[offsetof(AsiochanChannelInfo, name) == 20 ? 1 : -1];
typedef char request_bits[(ASIOCHAN_REQUEST_RESET | ASIOCHAN_REQUEST_RESYNC | ASIOCHAN_REQUEST_LATENCIES |
                           ASIOCHAN_REQUEST_SAMPLE_RATE | ASIOCHAN_REQUEST_SKIPPED_PERIODS) == 31
                              ? 1
                              : -1];
typedef char sample_type_codes[ASIOCHAN_SAMPLE_INT32LSB == 18 && ASIOCHAN_SAMPLE_DSD_INT8NER8 == 40 ? 1 : -1];

/* The sample-type table expands in C with a row macro of the caller's own. */
#define CHECK_ROW(id, code, name, bytes, msb, is_float, bits) {code, bytes},
static const struct {
    int code, bytes;
} sample_types[] = {ASIOCHAN_SAMPLE_TYPES(CHECK_ROW)};

int header_check_anchor(void) {
    return (int)sizeof(capture_request_size) + (int)sizeof(capture_request_fields) +
           (int)sizeof(channel_info_is_52_bytes) + (int)sizeof(name_at_20) + (int)sizeof(request_bits) +
           (int)sizeof(sample_type_codes) + sample_types[0].bytes;
}
