// Two doubles worked on side by side, and the bit scans and prefetches of the shadow walk, behind one
// header. GCC and Clang get their vector extensions and builtins (single paired instructions where the
// target has SSE2); any other compiler gets plain two-element arrays and loops. Lane by lane every
// operation is the scalar one, so both give the same results bit for bit.
#pragma once

#include <cmath>

#if (defined(__GNUC__) || defined(__clang__)) && !defined(ZEPHRIN_NO_VECTOR_EXTENSIONS)
#define ZEPHRIN_VECTOR_EXTENSIONS 1
#else
#define ZEPHRIN_VECTOR_EXTENSIONS 0
#endif

// Paired square roots and lane masks are one instruction each.
#if ZEPHRIN_VECTOR_EXTENSIONS && defined(__SSE2__)
#define ZEPHRIN_SSE2_LANES 1
#else
#define ZEPHRIN_SSE2_LANES 0
#endif

namespace zephrin {

#if ZEPHRIN_VECTOR_EXTENSIONS

using DoubleLanes = double __attribute__((vector_size(16)));
// What a lane comparison gives: all bits set in each lane where it holds.
using LaneMask = long long __attribute__((vector_size(16)));

#else

struct LaneMask {
    long long lane[2];
    long long operator[](int i) const { return lane[i]; }
};
inline LaneMask operator&(LaneMask a, LaneMask b) { return {{a.lane[0] & b.lane[0], a.lane[1] & b.lane[1]}}; }
inline LaneMask operator~(LaneMask a) { return {{~a.lane[0], ~a.lane[1]}}; }
inline LaneMask operator|(LaneMask a, LaneMask b) { return {{a.lane[0] | b.lane[0], a.lane[1] | b.lane[1]}}; }

struct DoubleLanes {
    double lane[2];
    double operator[](int i) const { return lane[i]; }
};
inline DoubleLanes operator+(DoubleLanes a, DoubleLanes b) { return {{a.lane[0] + b.lane[0], a.lane[1] + b.lane[1]}}; }
inline DoubleLanes operator-(DoubleLanes a, DoubleLanes b) { return {{a.lane[0] - b.lane[0], a.lane[1] - b.lane[1]}}; }
inline DoubleLanes operator*(DoubleLanes a, DoubleLanes b) { return {{a.lane[0] * b.lane[0], a.lane[1] * b.lane[1]}}; }
inline DoubleLanes operator/(DoubleLanes a, DoubleLanes b) { return {{a.lane[0] / b.lane[0], a.lane[1] / b.lane[1]}}; }
inline DoubleLanes operator-(DoubleLanes a) { return {{-a.lane[0], -a.lane[1]}}; }

namespace lanes_detail {
inline long long maskOf(bool holds) { return holds ? -1 : 0; }
}  // namespace lanes_detail
inline LaneMask operator<(DoubleLanes a, DoubleLanes b) {
    return {{lanes_detail::maskOf(a.lane[0] < b.lane[0]), lanes_detail::maskOf(a.lane[1] < b.lane[1])}};
}
inline LaneMask operator>(DoubleLanes a, DoubleLanes b) { return b < a; }
inline LaneMask operator<=(DoubleLanes a, DoubleLanes b) {
    return {{lanes_detail::maskOf(a.lane[0] <= b.lane[0]), lanes_detail::maskOf(a.lane[1] <= b.lane[1])}};
}
inline LaneMask operator>=(DoubleLanes a, DoubleLanes b) { return b <= a; }

#endif

// Both lanes set to one value.
inline DoubleLanes laneSplat(double value) { return DoubleLanes{value, value}; }

// A mask that holds in the first lane where `first` does and in the second where `second` does.
inline LaneMask laneMaskOf(bool first, bool second) {
    return LaneMask{first ? -1LL : 0LL, second ? -1LL : 0LL};
}

// Each lane's a or b where the mask holds or not.
inline DoubleLanes laneSelect(LaneMask mask, DoubleLanes a, DoubleLanes b) {
#if ZEPHRIN_VECTOR_EXTENSIONS
    return mask ? a : b;
#else
    return {{mask[0] != 0 ? a[0] : b[0], mask[1] != 0 ? a[1] : b[1]}};
#endif
}

// `x > bound ? x : bound` and `x < bound ? x : bound` lane by lane (the bound where x is NaN): one
// maxpd or minpd each, whose choice on ties and NaN is exactly this one.
inline DoubleLanes laneAbove(DoubleLanes x, DoubleLanes bound) {
#if ZEPHRIN_SSE2_LANES
    return __builtin_ia32_maxpd(x, bound);
#else
    return laneSelect(x > bound, x, bound);
#endif
}
inline DoubleLanes laneBelow(DoubleLanes x, DoubleLanes bound) {
#if ZEPHRIN_SSE2_LANES
    return __builtin_ia32_minpd(x, bound);
#else
    return laneSelect(x < bound, x, bound);
#endif
}

// std::min and std::max lane by lane, with their exact choice on ties and NaN.
inline DoubleLanes laneMin(DoubleLanes a, DoubleLanes b) { return laneSelect(b < a, b, a); }
inline DoubleLanes laneMax(DoubleLanes a, DoubleLanes b) { return laneSelect(a < b, b, a); }
// The magnitude of each lane as `x < 0 ? -x : x` takes it (negative zero stays as it is).
inline DoubleLanes laneAbs(DoubleLanes a) { return laneSelect(a < DoubleLanes{}, -a, a); }

inline DoubleLanes laneSqrt(DoubleLanes a) {
#if ZEPHRIN_SSE2_LANES
    return __builtin_ia32_sqrtpd(a);
#else
    return DoubleLanes{std::sqrt(a[0]), std::sqrt(a[1])};
#endif
}

// Bit 0 when the first lane of a comparison holds, bit 1 for the second.
inline unsigned laneBits(LaneMask mask) {
#if ZEPHRIN_SSE2_LANES
    return static_cast<unsigned>(__builtin_ia32_movmskpd(reinterpret_cast<DoubleLanes>(mask)));
#else
    return (mask[0] != 0 ? 1u : 0u) | (mask[1] != 0 ? 2u : 0u);
#endif
}

// Four doubles side by side, for code built for AVX2 and chosen at run time where the processor has
// it. Only the types are usable elsewhere: their operations below are AVX2 code, inlined into AVX2
// functions only. Lane by lane each is the scalar operation (no fused multiply-adds: only AVX2 is
// enabled for them), so four lanes give the results the scalar code gives bit for bit.
#if ZEPHRIN_VECTOR_EXTENSIONS && (defined(__x86_64__) || defined(__i386__))
#define ZEPHRIN_QUAD_LANES 1

using QuadLanes = double __attribute__((vector_size(32)));
using QuadMask = long long __attribute__((vector_size(32)));

__attribute__((target("avx2"), always_inline)) inline QuadLanes quadSplat(double value) {
    return QuadLanes{value, value, value, value};
}
__attribute__((target("avx2"), always_inline)) inline QuadLanes laneSelect(QuadMask mask, QuadLanes a, QuadLanes b) {
    return mask ? a : b;
}
// laneAbove and laneBelow of four lanes: one vmaxpd or vminpd, the same choice on ties and NaN.
__attribute__((target("avx2"), always_inline)) inline QuadLanes laneAbove(QuadLanes x, QuadLanes bound) {
    return __builtin_ia32_maxpd256(x, bound);
}
__attribute__((target("avx2"), always_inline)) inline QuadLanes laneBelow(QuadLanes x, QuadLanes bound) {
    return __builtin_ia32_minpd256(x, bound);
}
__attribute__((target("avx2"), always_inline)) inline QuadLanes laneSqrt(QuadLanes a) {
    return __builtin_ia32_sqrtpd256(a);
}
// Bit i set where lane i of the comparison holds.
__attribute__((target("avx2"), always_inline)) inline unsigned laneBits(QuadMask mask) {
    return static_cast<unsigned>(__builtin_ia32_movmskpd256(reinterpret_cast<QuadLanes>(mask)));
}
// The mask that holds in lane i where bit i of `bits` is set.
__attribute__((target("avx2"), always_inline)) inline QuadMask quadMaskOfBits(unsigned bits) {
    return QuadMask{(bits & 1u) != 0 ? -1LL : 0LL, (bits & 2u) != 0 ? -1LL : 0LL, (bits & 4u) != 0 ? -1LL : 0LL,
                    (bits & 8u) != 0 ? -1LL : 0LL};
}

#else
#define ZEPHRIN_QUAD_LANES 0
#endif

// Positions of the lowest and the highest set bit; `bits` must not be zero.
inline int lowestSetBit(unsigned bits) {
#if ZEPHRIN_VECTOR_EXTENSIONS
    return __builtin_ctz(bits);
#else
    int i = 0;
    while ((bits & 1u) == 0) bits >>= 1, ++i;
    return i;
#endif
}

inline int highestSetBit(unsigned bits) {
#if ZEPHRIN_VECTOR_EXTENSIONS
    return 31 - __builtin_clz(bits);
#else
    int i = 0;
    while ((bits >>= 1) != 0) ++i;
    return i;
#endif
}

// Asks for the cache line at `address` ahead of its use; a hint only.
inline void prefetchForRead(const void* address) {
#if ZEPHRIN_VECTOR_EXTENSIONS
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

}  // namespace zephrin
