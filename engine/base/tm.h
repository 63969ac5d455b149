// Millisecond timer over the platform's high-resolution counter.
#pragma once

#include <cstdint>

void tmInit();
uint64_t tmGetMs();
void tmDone();
