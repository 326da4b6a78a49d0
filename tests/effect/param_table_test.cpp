// The registered parameter list against the contract it keeps with stored projects (positions and disk
// ids) and with the renderer (what it reads where), and the registration's own rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "common/effect_contract.h"
#include "effect/editor/top_view_editor.h"
#include "effect_host_fixture.h"

namespace zephrin::test {
namespace {

// The definitions as the host took them, without the input layer at position 0.
std::vector<PF_ParamDef> registered(const EffectTestHost& host) {
    return std::vector<PF_ParamDef>(host.effect.params.begin() + 1, host.effect.params.end());
}

// Position, disk id and type of every parameter: stored projects hold values under the ids, and the
// renderer reads each position with the stream reader its type calls for. Written out here rather than
// taken from the common header, so that a changed number there cannot go unnoticed.
struct Row {
    int pos;
    int id;
    PF_ParamType type;
};

const Row kContract[] = {
    {1, 1, PF_Param_POPUP},           {2, 45, PF_Param_POPUP},          {3, 46, PF_Param_GROUP_START},
    {4, 4, PF_Param_FLOAT_SLIDER},    {5, 5, PF_Param_FLOAT_SLIDER},    {6, 41, PF_Param_ANGLE},
    {7, 82, PF_Param_POPUP},          {8, 83, PF_Param_CHECKBOX},       {9, 84, PF_Param_FLOAT_SLIDER},
    {10, 85, PF_Param_FLOAT_SLIDER},  {11, 86, PF_Param_POPUP},         {12, 67, PF_Param_POPUP},
    {13, 7, PF_Param_NO_DATA},        {14, 8, PF_Param_BUTTON},         {15, 9, PF_Param_CHECKBOX},
    {16, 10, PF_Param_NO_DATA},       {17, 76, PF_Param_FLOAT_SLIDER},  {18, 11, PF_Param_POINT_3D},
    {19, 13, PF_Param_POINT_3D},      {20, 15, PF_Param_POINT_3D},      {21, 17, PF_Param_POINT_3D},
    {22, 19, PF_Param_POINT_3D},      {23, 21, PF_Param_POINT_3D},      {24, 23, PF_Param_POINT_3D},
    {25, 25, PF_Param_POINT_3D},      {26, 27, PF_Param_POINT_3D},      {27, 29, PF_Param_POINT_3D},
    {28, 31, PF_Param_POINT_3D},      {29, 33, PF_Param_POINT_3D},      {30, 500, PF_Param_GROUP_START},
    {31, 12, PF_Param_POINT_3D},      {32, 14, PF_Param_POINT_3D},      {33, 16, PF_Param_POINT_3D},
    {34, 18, PF_Param_POINT_3D},      {35, 20, PF_Param_POINT_3D},      {36, 22, PF_Param_POINT_3D},
    {37, 24, PF_Param_POINT_3D},      {38, 26, PF_Param_POINT_3D},      {39, 28, PF_Param_POINT_3D},
    {40, 30, PF_Param_POINT_3D},      {41, 32, PF_Param_POINT_3D},      {42, 34, PF_Param_POINT_3D},
    {43, 501, PF_Param_GROUP_END},    {44, 53, PF_Param_GROUP_END},     {45, 47, PF_Param_GROUP_START},
    {46, 48, PF_Param_FLOAT_SLIDER},  {47, 89, PF_Param_LAYER},         {48, 80, PF_Param_NO_DATA},
    {49, 49, PF_Param_CHECKBOX},      {50, 50, PF_Param_ANGLE},         {51, 51, PF_Param_FLOAT_SLIDER},
    {52, 81, PF_Param_POPUP},         {53, 54, PF_Param_GROUP_END},     {54, 104, PF_Param_GROUP_START},
    {55, 105, PF_Param_CHECKBOX},     {56, 106, PF_Param_GROUP_START},  {57, 107, PF_Param_CHECKBOX},
    {58, 108, PF_Param_POPUP},        {59, 109, PF_Param_ANGLE},        {60, 110, PF_Param_ANGLE},
    {61, 111, PF_Param_FLOAT_SLIDER}, {62, 112, PF_Param_FLOAT_SLIDER}, {63, 113, PF_Param_GROUP_END},
    {64, 114, PF_Param_GROUP_START},  {65, 115, PF_Param_CHECKBOX},     {66, 116, PF_Param_POPUP},
    {67, 117, PF_Param_ANGLE},        {68, 118, PF_Param_ANGLE},        {69, 119, PF_Param_FLOAT_SLIDER},
    {70, 120, PF_Param_FLOAT_SLIDER}, {71, 121, PF_Param_GROUP_END},    {72, 122, PF_Param_GROUP_END},
    {73, 98, PF_Param_GROUP_START},   {74, 2, PF_Param_FLOAT_SLIDER},   {75, 3, PF_Param_FLOAT_SLIDER},
    {76, 52, PF_Param_FLOAT_SLIDER},  {77, 35, PF_Param_FLOAT_SLIDER},  {78, 90, PF_Param_COLOR},
    {79, 91, PF_Param_ANGLE},         {80, 36, PF_Param_FLOAT_SLIDER},  {81, 37, PF_Param_FLOAT_SLIDER},
    {82, 43, PF_Param_POPUP},         {83, 44, PF_Param_POPUP},         {84, 38, PF_Param_LAYER},
    {85, 68, PF_Param_COLOR},         {86, 102, PF_Param_CHECKBOX},     {87, 39, PF_Param_LAYER},
    {88, 40, PF_Param_COLOR},         {89, 103, PF_Param_CHECKBOX},     {90, 99, PF_Param_GROUP_END},
    {91, 42, PF_Param_CHECKBOX},      {92, 55, PF_Param_POINT_3D},      {93, 56, PF_Param_POINT_3D},
    {94, 57, PF_Param_POINT_3D},      {95, 58, PF_Param_POINT_3D},      {96, 59, PF_Param_POINT_3D},
    {97, 60, PF_Param_POINT_3D},      {98, 61, PF_Param_POINT_3D},      {99, 62, PF_Param_POINT_3D},
    {100, 63, PF_Param_POINT_3D},     {101, 64, PF_Param_POINT_3D},     {102, 65, PF_Param_POINT_3D},
    {103, 66, PF_Param_POINT_3D},     {104, 69, PF_Param_GROUP_START},  {105, 70, PF_Param_LAYER},
    {106, 71, PF_Param_FLOAT_SLIDER}, {107, 72, PF_Param_CHECKBOX},     {108, 73, PF_Param_CHECKBOX},
    {109, 74, PF_Param_CHECKBOX},     {110, 75, PF_Param_GROUP_END},    {111, 77, PF_Param_POPUP},
    {112, 100, PF_Param_GROUP_START}, {113, 92, PF_Param_POPUP},        {114, 93, PF_Param_CHECKBOX},
    {115, 94, PF_Param_FLOAT_SLIDER}, {116, 95, PF_Param_FLOAT_SLIDER}, {117, 96, PF_Param_POPUP},
    {118, 101, PF_Param_GROUP_END},   {119, 97, PF_Param_CHECKBOX},     {120, 79, PF_Param_CHECKBOX},
    {121, 123, PF_Param_CHECKBOX},
};

TEST(ParamContract, EveryPositionKeepsItsDiskIdAndType) {
    EffectTestHost host;
    ASSERT_EQ(host.setUpGlobals(), PF_Err_NONE);
    const std::vector<PF_ParamDef> defs = registered(host);
    EXPECT_EQ(host.last(PF_Cmd_PARAMS_SETUP).out.num_params, 122);
    ASSERT_EQ(defs.size(), std::size(kContract));
    for (std::size_t i = 0; i < std::size(kContract); ++i) {
        ASSERT_EQ(kContract[i].pos, static_cast<int>(i) + 1) << "the transcription itself is out of order";
        SCOPED_TRACE("position " + std::to_string(kContract[i].pos));
        EXPECT_EQ(defs[i].uu.id, kContract[i].id);
        EXPECT_EQ(defs[i].param_type, kContract[i].type);
    }
}

TEST(ParamContract, OnlyTheLastTwoAddedParametersGiveOldProjectsTheirValue) {
    EffectTestHost host;
    ASSERT_EQ(host.setUpGlobals(), PF_Err_NONE);
    const std::vector<PF_ParamDef> defs = registered(host);
    for (const PF_ParamDef& def : defs) {
        const bool oldProjectsTakeValue = (def.flags & PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS) != 0;
        EXPECT_EQ(oldProjectsTakeValue, def.uu.id == 97 || def.uu.id == 123) << "disk id " << def.uu.id;
    }
    // A new instance reads "Common Sync State" on; a project from before it existed reads it off.
    const PF_ParamDef& commonSync = defs[119 - 1];
    EXPECT_EQ(commonSync.u.bd.value, 0);
    EXPECT_EQ(commonSync.u.bd.dephault, 1);
}

// How the renderer reads a position: each reader accepts only the stream types listed in streamAccepts.
enum class StreamReader { Number, Point, LayerId, Colour };

struct RendererRead {
    int position;
    StreamReader reader;
};

// Every position the renderer reads, named from the common header as its control reader names them.
std::vector<RendererRead> rendererReads() {
    using enum StreamReader;
    std::vector<RendererRead> reads = {
        {param::kMode, Number},
        {param::kCommonSyncState, Number},
        {param::kSubdivisionX, Number},
        {param::kSubdivisionY, Number},
        {param::kLayerScale, Number},
        {param::kCurveAmount, Number},
        {param::kTwistAmount, Number},
        {param::kFreeBendDirection, Number},
        {param::kBendDirection, Number},
        {param::kThickness, Number},
        {param::kSpecular, Number},
        {param::kShadowSoftness, Number},
        {param::kShadowMode, Number},
        {param::kShadowQuality, Number},
        {param::kFrontLayer, LayerId},
        {param::kBackLayer, LayerId},
        {param::kPathLayer, LayerId},
        {param::kPathLayerIndex, Number},
        {param::kCloseEndpoints, Number},
        {param::kLoopMoveSpeed, Number},
        {param::kShape, Number},
        {param::kQuickPreview, Number},
        {param::kGpuAcceleration, Number},
        {param::kFitPathLength, Number},
        {param::kPathBendDirection, Number},
        {param::kAnimation, Number},
        {param::kFreeMotion, Number},
        {param::kPathMotion, Number},
        {param::kAnimationDirection, Number},
        {param::kFreeMotionDirection, Number},
        {param::kPathMotionDirection, Number},
        {param::kTileCount, Number},
        {param::kFreeTileCount, Number},
        {param::kTileMirror, Number},
        {param::kFreeTileMirror, Number},
        {param::kTileOffset, Number},
        {param::kFreeTileOffset, Number},
        {param::kFrontColor, Colour},
        {param::kBackColor, Colour},
        {param::kThicknessColor, Colour},
        {param::kFrontFlip, Number},
        {param::kBackFlip, Number},
        {param::kObjSourceLayer, LayerId},
        {param::kObjScale, Number},
        {param::kObjCenter, Number},
        {param::kObjFlipV, Number},
        {param::kObjSmoothNormals, Number},
        {param::kSyncLeftRight, Number},
        {param::kPointCount, Number},
    };
    // Each curl: Enabled, Direction, Curl Angle, Tilt, Radius, Radius Change / Turn.
    for (const int first : {param::kLeftEnabled, param::kRightEnabled}) {
        for (int offset = 0; offset < 6; ++offset) reads.push_back({first + offset, Number});
    }
    for (int slot = 0; slot < param::kPointSlots; ++slot) {
        reads.push_back({param::pointPosition(slot), Point});
        reads.push_back({param::rotationPosition(slot), Point});
        reads.push_back({param::handlePosition(slot), Point});
    }
    return reads;
}

bool streamAccepts(StreamReader reader, PF_ParamType type) {
    switch (reader) {
        case StreamReader::Number:
            return type == PF_Param_FLOAT_SLIDER || type == PF_Param_POPUP || type == PF_Param_CHECKBOX ||
                   type == PF_Param_ANGLE;
        case StreamReader::Point:
            return type == PF_Param_POINT_3D;
        case StreamReader::LayerId:
            return type == PF_Param_LAYER;
        case StreamReader::Colour:
            return type == PF_Param_COLOR;
    }
    return false;
}

TEST(ParamContract, RendererReadsWhatTheEffectRegisters) {
    EffectTestHost host;
    ASSERT_EQ(host.setUpGlobals(), PF_Err_NONE);
    const std::vector<PF_ParamDef> defs = registered(host);
    ASSERT_EQ(static_cast<int>(defs.size()) + 1, param::kCount);
    const auto at = [&defs](int position) -> const PF_ParamDef& {
        return defs[static_cast<std::size_t>(position - 1)];
    };
    for (const RendererRead& read : rendererReads()) {
        ASSERT_GT(read.position, param::kInputLayer);
        ASSERT_LT(read.position, param::kCount);
        EXPECT_TRUE(streamAccepts(read.reader, at(read.position).param_type))
            << "position " << read.position << " registers type " << at(read.position).param_type;
    }

    // Popup choices the renderer clamps to, and the handle both sides fall back to.
    EXPECT_EQ(at(param::kMode).u.pd.num_choices, param::kModeScroll);
    EXPECT_EQ(at(param::kShadowMode).u.pd.num_choices, static_cast<int>(ShadowMode::Hybrid));
    EXPECT_EQ(at(param::kShadowMode).u.pd.dephault, static_cast<int>(ShadowMode::Auto));
    EXPECT_EQ(at(param::kShape).u.pd.num_choices, param::kShapeCircle);
    EXPECT_EQ(at(param::kPointCount).u.pd.num_choices, param::kPointSlots - 1);
    for (int slot = 0; slot < param::kPointSlots; ++slot) {
        const PF_Point3DDef& handle = at(param::handlePosition(slot)).u.point3d_d;
        EXPECT_EQ(handle.x_dephault, kDefaultHandleLength) << "slot " << slot;
        EXPECT_EQ(handle.y_dephault, kDefaultHandleLength) << "slot " << slot;
        EXPECT_EQ(handle.z_dephault, 0.0) << "slot " << slot;
    }
}

TEST(ParamContract, DiskIdsAreUnique) {
    std::vector<int> ids;
    for (const Row& row : kContract) ids.push_back(row.id);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
}

TEST(ParamContract, TopViewSizeIsClampedAtRegistration) {
    EffectTestHost host;
    TopViewEditor& editor = topViewEditor();
    const TopViewEditor saved = editor;
    // Stored sizes outside the limits, as a resize gesture of an older process could have left them.
    editor.viewWidth = 2000;
    editor.viewHeight = 40;
    host.setUpGlobals();
    editor = saved;
    const PF_ParamDef topView = registered(host)[15];
    EXPECT_EQ(topView.ui_width, 1400);
    EXPECT_EQ(topView.ui_height, 130);
}

TEST(ParamContract, FirstRefusedParameterEndsRegistration) {
    EffectTestHost host;
    host.addParamFailsAt = 30;
    EXPECT_EQ(host.setUpGlobals(), PF_Err_INVALID_INDEX);
    EXPECT_EQ(registered(host).size(), 29u);
    EXPECT_TRUE(host.effect.customUi.empty());
}

TEST(ParamContract, CustomUiRegistrationIsLoggedAndNeverFailsTheCommand) {
    EffectLog log;
    {
        EffectTestHost host;
        EXPECT_EQ(host.setUpGlobals(), PF_Err_NONE);
        ASSERT_EQ(host.effect.customUi.size(), 1u);
        EXPECT_EQ(host.effect.customUi[0].events, PF_CustomEFlag_EFFECT);
        EXPECT_EQ(host.effect.customUi[0].comp_ui_width, 0);
        EXPECT_TRUE(log.contains("ParamsSetup: effect custom UI registered for ECW parameter controls"));
    }
    {
        EffectTestHost host;
        host.registerUiErr = PF_Err_INVALID_CALLBACK;
        EXPECT_EQ(host.setUpGlobals(), PF_Err_NONE);
        EXPECT_TRUE(log.contains("ParamsSetup: effect custom UI registration ignored err=515"));
    }
    {
        EffectTestHost host;
        host.offerRegisterUi = false;
        EXPECT_EQ(host.setUpGlobals(), PF_Err_NONE);
        EXPECT_TRUE(log.contains("ParamsSetup: effect custom UI registration skipped"));
    }
}

}  // namespace
}  // namespace zephrin::test
