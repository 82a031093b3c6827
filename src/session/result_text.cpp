#include "session/result_text.h"

#include "asiochan.h"

namespace asiochan {

namespace {
struct CodeText {
    std::int32_t code;
    const char* text;
};

constexpr CodeText kTexts[] = {
    {ASIOCHAN_OK, "success"},
    {ASIOCHAN_NOT_PRESENT, "not present: no driver, or the driver or channel is not available"},
    {ASIOCHAN_HW_MALFUNCTION, "hardware malfunction reported by the driver"},
    {ASIOCHAN_INVALID_PARAMETER, "invalid parameter"},
    {ASIOCHAN_INVALID_MODE, "invalid mode: the call does not fit the current state"},
    {ASIOCHAN_NO_MEMORY, "out of memory"},
    {ASIOCHAN_LIST_NULL_ARGUMENT, "driver list: null argument"},
    {ASIOCHAN_LIST_ENTRY_BUSY, "driver list: entry in use"},
    {ASIOCHAN_LIST_NO_ENTRY, "driver list: no driver at that index"},
    {ASIOCHAN_STREAM_ENDED, "the stream has ended"},
    {ASIOCHAN_DRIVER_STUCK, "driver stuck: a period stayed inside the driver past the wait"},
};
}  // namespace

const char* resultText(std::int32_t code) {
    for (const CodeText& entry : kTexts)
        if (entry.code == code) return entry.text;
    return "unknown result code";
}

}  // namespace asiochan
