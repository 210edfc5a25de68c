// What the processor runs, as it reports itself (the C runtime also checks that the operating
// system saves the AVX registers). Compiled for the baseline instruction set, so callers may
// ask on any x86-64 processor before they call code built for a wider one.
//
// Threads: any; pure after the first call.
#pragma once

namespace qd {

bool CpuHasAvx2();
bool CpuHasAvx2Fma();

}  // namespace qd
