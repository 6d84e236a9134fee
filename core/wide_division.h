// Division of 64-bit numbers without the compiler's library helpers: in a 32-bit program
// those (libgcc's, with their unwind tables) cost about 1.6 KB of the window's program for
// the few divisions of a pack's plan and progress, none of them in a loop over bytes.
#pragma once
#include <stdint.h>

// `dividend / divisor` (divisor not 0); the remainder in *remainder when it is not null.
uint64_t DivideWide(uint64_t dividend, uint64_t divisor, uint64_t* remainder = nullptr);

// The same by long division, one bit of the quotient at a time: what DivideWide does in a
// 32-bit program (declared here so that the native tests hold it against the processor's).
uint64_t LongDivide(uint64_t dividend, uint64_t divisor, uint64_t* remainder);
