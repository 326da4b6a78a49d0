// The lighting model's fixed gains: how strongly each kind of light lights a material, and how deep
// its shadows go. They live beside the light records because more than the shading reads them: light
// collection prints them in its log line and shadow rays apply the darkness gain.
#pragma once

namespace zephrin {

// Ambient term of a material with no ambient light: 0.15 of its ambient coefficient.
constexpr double kAmbientBaseGain = 0.15;
// Each ambient light adds this much per unit of intensity and ambient coefficient.
constexpr double kAmbientLightGain = 1.85;
// Every non-ambient light's strength, before its type scale.
constexpr double kDirectGain = 1.62;
constexpr double kParallelScale = 1.35;
constexpr double kPointScale = 8.4;
constexpr double kSpotScale = 12.0;
// With any directional light in the frame the ambient term never falls below this fraction of the
// base colour, so that surfaces turned away from every light stay readable.
constexpr double kAmbientFloor = 0.22;
// Shadow darkness is boosted by this factor (and clamped), so that 78 % already gives a black shadow.
constexpr double kShadowDarknessGain = 1.28;
// Share of the ambient term that survives full shadow: 0.42 + 0.58 * visibility.
constexpr double kShadowedAmbientShare = 0.42;

}  // namespace zephrin
