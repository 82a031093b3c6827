/* Compiles the public header as C with every warning as an error. */
#include "asiochan.h"

#include <stddef.h>

typedef char capture_request_is_12_bytes[sizeof(CaptureRequest) == 12 ? 1 : -1];
typedef char channel_info_is_52_bytes[sizeof(AsiochanChannelInfo) == 52 ? 1 : -1];
typedef char name_at_20[offsetof(AsiochanChannelInfo, name) == 20 ? 1 : -1];
typedef char request_bits[(ASIOCHAN_REQUEST_RESET | ASIOCHAN_REQUEST_RESYNC | ASIOCHAN_REQUEST_LATENCIES |
                           ASIOCHAN_REQUEST_SAMPLE_RATE) == 15 ? 1 : -1];

int header_check_anchor(void) { return (int)sizeof(capture_request_is_12_bytes) + (int)sizeof(channel_info_is_52_bytes) + (int)sizeof(name_at_20) + (int)sizeof(request_bits); }
