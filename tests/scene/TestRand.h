// The scene test program supplies its own rand(), so RangeRand can be fed chosen
// values and every draw is counted.
#pragma once

constexpr int kRandMid = 1073741824; // 2^30: RangeRand gives the middle of its range
constexpr int kRandMax = 2147483647; // RangeRand gives max

// Value for draw number n (counted from the last ResetRand).
using RandSource = int (*)(long n);

void ResetRand(RandSource source); // null: a fixed pseudo-random sequence
long RandDraws();

// What RangeRand(min, max) gives when rand() returns value (uses one draw, then restores the count).
float RangeRandOf(int value, float min, float max);
