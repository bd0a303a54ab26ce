// Questions about the running system: its Windows version and a random number.
#pragma once

#include <windows.h>

#include <cstdint>

const OSVERSIONINFOW& GetOsVersion();
bool IsXpOrLater();
bool IsXpOrLater(const OSVERSIONINFOW& version);
// 0 .. n-1; Random(0) is the generator's raw 32-bit output.
uint32_t Random(uint32_t n);
void SeedRandom(uint32_t seed);
