// See checkPlayedFiles in players_test.cpp.
#pragma once

// Plays each file of `args` (pairs of bits per sample and a WAV file's path) on
// both players at once, on the stepped simulated driver, and compares what each
// channel received with the file's first channel as sox decoded it into the file's
// path + ".s32" (32-bit little-endian samples). Prints a line per file; 0 when
// every file played exactly, 1 when not.
int checkPlayedFiles(int count, char** args);
