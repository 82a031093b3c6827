// The Linux library's installed drivers and dump folder: what a Windows machine
// has in its registry and on its D: drive, set up once when the library starts.
#pragma once

namespace asiochan::platform::linux_library {

// Puts the classes of libasiochan_sim.so, the library beside this one, into the
// registry stand-in and the class table as an installed ASIO driver each (the
// keys and values regsvr32 and a Wine prefix's set-up write), and maps the D:
// drive to the folder ASIOCHAN_DUMP_DIR names. Without the simulated drivers'
// library the driver list stays empty; without the variable, dumps are skipped.
void installSimulatedDrivers();

}  // namespace asiochan::platform::linux_library
