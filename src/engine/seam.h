// Points between the publishing steps of an application thread's call, where the
// host build's tests run a period to see that every order of steps ends in a
// result the header allows. In the product they compile to nothing.
#pragma once

#if defined(ASIOCHAN_HOST_SEAMS)
namespace asiochan::seam {
// Host build only: called at each point with its name; null for none.
using Handler = void (*)(const char* where);
void setHandler(Handler handler);
void reach(const char* where);
}  // namespace asiochan::seam
#define ASIOCHAN_SEAM(where) ::asiochan::seam::reach(where)
#else
#define ASIOCHAN_SEAM(where) static_cast<void>(0)
#endif
