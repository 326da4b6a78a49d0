#include "effect/editor/gesture_tag.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zephrin {
namespace {

// Tags are recognised by these bits, so that a refcon the host zeroed or another effect left is never
// taken for a gesture.
constexpr uint32_t kTagCheckMask = 0x3e000000;
constexpr uint32_t kTagBase = 0x2a000000;
constexpr uint32_t kKindShift = 16;
constexpr uint32_t kKindPointOrHandle = 0x00;
constexpr uint32_t kKindResize = 0x02;
constexpr uint32_t kKindPan = 0x03;
constexpr uint32_t kKindLoopSpeed = 0x04;
constexpr uint32_t kKindBoxSelect = 0x05;
constexpr uint32_t kKindMultiPoint = 0x06;
constexpr uint32_t kSideOut = 0x01;
constexpr uint32_t kSideIn = 0xff;

constexpr double kFixedScale = 100000.0;
constexpr double kFixedRange = 32768.0;
// What a non-finite start value travels as: the middle of the normalized plane.
constexpr double kFixedFallback = 0.5;

int32_t toFixed(double value) {
    if (!std::isfinite(value)) value = kFixedFallback;
    value = std::clamp(value, -kFixedRange, kFixedRange - 1);
    // Half away from zero, and held within the 32-bit half (the clamp alone allows larger products).
    const double scaled = std::round(value * kFixedScale);
    const double limit = double(std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(std::clamp(scaled, -limit - 1, limit));
}

}  // namespace

uint32_t encodeGestureTag(const GestureTag& tag) {
    const auto pointIndex = static_cast<uint32_t>(tag.index) & 0xff;
    switch (tag.kind) {
        case GestureKind::Point:
            return kTagBase | pointIndex;
        case GestureKind::OutHandle:
            return kTagBase | (kSideOut << 8) | pointIndex;
        case GestureKind::InHandle:
            return kTagBase | (kSideIn << 8) | pointIndex;
        case GestureKind::Resize:
            return kTagBase | (kKindResize << kKindShift);
        case GestureKind::Pan:
            return kTagBase | (kKindPan << kKindShift);
        case GestureKind::LoopSpeed:
            return kTagBase | (kKindLoopSpeed << kKindShift);
        case GestureKind::BoxSelect:
            return kTagBase | (kKindBoxSelect << kKindShift);
        case GestureKind::MultiPoint:
            return kTagBase | (kKindMultiPoint << kKindShift) | (static_cast<uint32_t>(tag.index) & 0xffff);
        case GestureKind::None:
            break;
    }
    return 0;
}

GestureTag decodeGestureTag(uint32_t tag) {
    if ((tag & kTagCheckMask) != kTagBase) return {};
    switch ((tag >> kKindShift) & 0xff) {
        case kKindPointOrHandle: {
            const uint32_t side = (tag >> 8) & 0xff;
            const int index = static_cast<int>(tag & 0xff);
            if (side == 0) return {GestureKind::Point, index};
            if (side == kSideOut) return {GestureKind::OutHandle, index};
            if (side == kSideIn) return {GestureKind::InHandle, index};
            return {};
        }
        case kKindResize:
            return {GestureKind::Resize, 0};
        case kKindPan:
            return {GestureKind::Pan, 0};
        case kKindLoopSpeed:
            return {GestureKind::LoopSpeed, 0};
        case kKindBoxSelect:
            return {GestureKind::BoxSelect, 0};
        case kKindMultiPoint:
            return {GestureKind::MultiPoint, static_cast<int>(tag & 0xffff)};
        default:
            return {};
    }
}

A_intptr_t packFixedPair(double first, double second) {
    const auto low = static_cast<uint32_t>(toFixed(first));
    const auto high = static_cast<uint32_t>(toFixed(second));
    return static_cast<A_intptr_t>((static_cast<uint64_t>(high) << 32) | low);
}

void unpackFixedPair(A_intptr_t packed, double& first, double& second) {
    const auto bits = static_cast<uint64_t>(packed);
    first = static_cast<int32_t>(static_cast<uint32_t>(bits & 0xffffffffu)) / kFixedScale;
    second = static_cast<int32_t>(static_cast<uint32_t>(bits >> 32)) / kFixedScale;
}

void beginGesture(PF_DoClickEventInfo& click, const GestureTag& tag, double mx, double my, double startA,
                  double startB) {
    click.continue_refcon[0] = static_cast<A_intptr_t>(encodeGestureTag(tag));
    click.continue_refcon[1] = static_cast<A_intptr_t>(std::lround(mx));
    click.continue_refcon[2] = static_cast<A_intptr_t>(std::lround(my));
    click.continue_refcon[3] = packFixedPair(startA, startB);
    click.send_drag = 1;
}

GestureStart readGesture(const PF_DoClickEventInfo& click) {
    GestureStart start;
    start.tag = decodeGestureTag(static_cast<uint32_t>(click.continue_refcon[0]));
    start.clickX = double(click.continue_refcon[1]);
    start.clickY = double(click.continue_refcon[2]);
    unpackFixedPair(click.continue_refcon[3], start.startA, start.startB);
    return start;
}

void endGesture(PF_DoClickEventInfo& click) {
    click.continue_refcon[0] = 0;
    click.send_drag = 0;
}

}  // namespace zephrin
