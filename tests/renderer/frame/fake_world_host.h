// Test-only host for paint: a basic suite that hands out "AEGP World Suite" version 3 over
// in-memory worlds whose rows carry padding bytes (a non-tight stride), with switchable failures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sdk/AE_GeneralPlug.h"
#include "sdk/PR_Public.h"
#include "sdk/SPBasic.h"

namespace zephrin {

// Value of every padding byte and of the initial pixels, so untouched memory is recognisable.
constexpr unsigned char kFakeWorldFill = 0xA7;
constexpr A_u_long kFakeWorldRowPadding = 12;

enum class FakeWorldFailure { None, GetSize, GetType, GetRowBytes, GetBaseAddr };

struct FakeWorld {
    AEGP_WorldType type = AEGP_WorldType_8;
    A_long width = 0, height = 0;
    A_u_long rowBytes = 0;
    std::vector<unsigned char> bytes;
    bool baseAddressMissing = false;
    FakeWorldFailure failure = FakeWorldFailure::None;

    AEGP_WorldH handle() { return reinterpret_cast<AEGP_WorldH>(this); }

    template <typename Pixel>
    Pixel& pixel(int x, int y) {
        return *reinterpret_cast<Pixel*>(bytes.data() + static_cast<size_t>(y) * rowBytes + x * sizeof(Pixel));
    }
};

size_t fakeWorldPixelBytes(AEGP_WorldType type);

// rowBytes = width * pixel size + kFakeWorldRowPadding; every byte starts as kFakeWorldFill.
FakeWorld makeFakeWorld(AEGP_WorldType type, A_long width, A_long height);

struct FakeWorldHost {
    SPBasicSuite basic{};
    PR_InData inData{};
    bool offerWorldSuite = true;
};

// The process-wide fake host, reset to offer the World suite, with its counters cleared.
FakeWorldHost& resetFakeWorldHost();

// Suites handed out and given back since the last reset.
int fakeWorldSuiteAcquires();
int fakeWorldSuiteReleases();

}  // namespace zephrin
