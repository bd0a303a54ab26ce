// Questions about the running system: its Windows version and a random number.
#pragma once

#include <windows.h>

#include <cstdint>

const OSVERSIONINFOW& GetOsVersion();
bool IsXpOrLater();
// Windows XP (5.1) and later.
bool IsXpOrLater(const OSVERSIONINFOW& version);
// 0 .. n-1; Random(0) is the generator's raw 32-bit output.
uint32_t Random(uint32_t n);
// Restarts the generator from a known state; the process seeds it itself
// from the clock before main.
void SeedRandom(uint32_t seed);
