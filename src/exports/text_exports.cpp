// The result codes' texts.
#include "asiochan.h"
#include "session/result_text.h"

extern "C" {

const char* ASIOCHAN_CALL AsiochanErrorText(int32_t code) { return asiochan::resultText(code); }

}  // extern "C"
