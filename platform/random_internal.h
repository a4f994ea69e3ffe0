// Test hook of the random numbers, used by the headless twin's reset.
#pragma once

// Forgets the seed and the last value, as in a fresh process.
void reset_random();
