// Scroll Mode: the layer stays flat in the middle and winds into a spiral at its left and/or right
// end, each turn at least a slab's thickness further out than the last.
#pragma once

#include "renderer/geometry/free_mode_mesh.h"
#include "renderer/geometry/mesh_building.h"
#include "renderer/geometry/slab_mesh.h"
#include "renderer/scene/bend_controls.h"
#include "renderer/scene/frame_scene.h"

namespace zephrin {

// Tilt beyond this would lay the curl's axis along the layer's edge.
constexpr double kMaxCurlTilt = 89.0;
// Growth per turn never drops below this, so an unthick slab still spirals outward.
constexpr double kMinCurlGrowth = 0.25;
// A tightening spiral stops this far before its radius reaches zero.
constexpr double kTighteningMargin = 0.001;

// One curled end, derived from its controls, the slab thickness and the layer size.
struct ScrollCurl {
    double growth = 0.0;       // radius gained per turn
    double startRadius = 1.0;  // radius where the curl leaves the flat part
    double maxAngle = 0.0;     // radians; 0 when the side is off
    double spiral = 0.0;       // radius gained per radian
    double axisX = 1.0, axisY = 0.0;
    double offset = 0.0;   // smallest axis projection over the layer's corners
    bool rollsUp = false;  // a negative curl angle rolls to the camera's side
    double used = 0.0;     // pixels of the layer this curl takes
};

// The full slab thickness Scroll Mode uses for growth and extrusion.
double scrollSlabThickness(double thickness, double width, double height);

// Arc length of a spiral from its start radius up to `angle` radians.
double scrollCurlLength(double growth, double startRadius, double angle);

// Both curls, with their lengths scaled to fit the layer width between them.
struct ScrollCurls {
    ScrollCurl left;
    ScrollCurl right;
};
ScrollCurls deriveScrollCurls(const BendControls& controls, double width, double height);

// The rolled centre point of layer pixel (x, y), before the mesh origin is added.
Vec3 rollScrollPoint(const ScrollCurls& curls, double x, double y);

// The centre grid of the scroll, origin included.
SlabCentreGrid buildScrollCentreGrid(const BendControls& controls, const MeshPlacement& placement);

// Builds surface.mesh for Scroll Mode from surface.controls, with the alpha-contour walls of
// surface.frontTexture and the normals.
SlabGrid buildScrollMesh(SceneSurface& surface, const MeshPlacement& placement);

}  // namespace zephrin
