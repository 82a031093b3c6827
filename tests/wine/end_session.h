// See end_session.cpp.
#pragma once

// Ends the running asiochan.exe the way the session would, `after` seconds once
// its hidden window is up: "logoff" sends it WM_QUERYENDSESSION and WM_ENDSESSION
// and ends the process as soon as the second returns; "kill" ends it without a
// word. 0 when it was done, 1 when not (the reason printed).
int endSession(const char* how, double after);
