// The events that end a command from outside: Ctrl+C and Ctrl+Break, the console
// window closed, the user logging off and the machine shutting down. The first two
// set a flag the commands poll; the others set it too and hold the process until
// the command has ended (its file closed, the run finished), for at most
// kEndingWait. A console program that loads user32 gets no logoff or shutdown
// console event: a hidden window of its own takes the end-session messages.
#pragma once

namespace cli {

// Installs the console handler and starts the hidden window's thread (once).
void installInterruptHandler();
// A stop was asked for.
bool interrupted();
// The command has ended: an ending event waiting for it lets the process go.
void commandEnded();

// The class of the hidden window, by which the tests find it.
inline constexpr char kSessionWindowClass[] = "asiochan_session";

}  // namespace cli
