// See checkPlayedFiles in players_test.cpp.
#pragma once

// Plays each file of `args` (pairs of bits per sample and a WAV file's path) on
// both players at once, on the stepped simulated driver, then on the multi-channel
// player mapped, and compares what each channel received with the file's channels
// as sox decoded them into the file's path + ".s32" (the first) and + ".2.s32" (the
// second; 32-bit little-endian samples). Prints a line per file; 0 when every file
// played exactly, 1 when not.
int checkPlayedFiles(int count, char** args);
