// Random numbers (fixed seeds: every run draws the same sequence).
#pragma once

#include <cstdint>

int rndGet(int n); // 0..n-1; 0 for n < 1 (the generators still advance)
void rnd2Seed(uint32_t seed);
uint32_t rnd2Next();
uint32_t rnd2Get(uint32_t n); // rnd2Next() mod n; 0 for n = 0
