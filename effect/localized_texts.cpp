#include "effect/localized_texts.h"

#include <array>
#include <mutex>

#include "sdk/Win32Platform.h"

namespace zephrin {
namespace {

constexpr int kTextCount = static_cast<int>(TextId::Count);

constexpr TextPair kTexts[] = {
    {TextId::Empty, "", nullptr},
    {TextId::Language, "Language", u"语言"},
    {TextId::LanguageChoices, "Chinese|English", u"中文|英文"},
    {TextId::Mode, "Mode", u"模式"},
    {TextId::ModeChoices, "Free Mode|Path Select|Scroll Mode", u"自由模式|路径选择|卷轴模式"},
    {TextId::FreeMode, "Free Mode", u"自由模式"},
    {TextId::CurveAmount, "Curve Amount", u"起伏强度"},
    {TextId::TwistAmount, "Twist Amount", u"扭转强度"},
    {TextId::PathBendDirection, "Path Bend Direction", u"路径弯曲方向"},
    {TextId::TileCount, "Tile Count", u"拼贴数量"},
    {TextId::TileCountChoices, "0|1|2|3|4|5|6|7|8|9|10", nullptr},
    {TextId::TileMirror, "Tile Mirror", u"拼贴镜像"},
    {TextId::TileOffset, "Tile Offset", u"拼贴偏移"},
    {TextId::Motion, "Motion", u"运动"},
    {TextId::MotionDirection, "Motion Direction", u"运动方向"},
    {TextId::DirectionChoices, "->|<-", u"→|←"},
    {TextId::PointCount, "Point Count", u"控制点数量"},
    {TextId::PointCountChoices, "2|3|4|5|6|7|8|9|10|11|12", nullptr},
    {TextId::GeneratePoints, "Generate Points", u"生成控制点"},
    {TextId::ResetPoints, "Reset Points", u"重置控制点"},
    {TextId::ResetButton, "Reset", u"重置"},
    {TextId::CloseEndpoints, "Close Endpoints", u"封闭端口"},
    {TextId::TopView, "Top View", u"顶视图"},
    {TextId::LoopMoveSpeed, "Loop Move Speed", u"循环移动速度"},
    {pointLabel(0), "Point 1", u"控制点1"},
    {pointLabel(1), "Point 2", u"控制点2"},
    {pointLabel(2), "Point 3", u"控制点3"},
    {pointLabel(3), "Point 4", u"控制点4"},
    {pointLabel(4), "Point 5", u"控制点5"},
    {pointLabel(5), "Point 6", u"控制点6"},
    {pointLabel(6), "Point 7", u"控制点7"},
    {pointLabel(7), "Point 8", u"控制点8"},
    {pointLabel(8), "Point 9", u"控制点9"},
    {pointLabel(9), "Point 10", u"控制点10"},
    {pointLabel(10), "Point 11", u"控制点11"},
    {pointLabel(11), "Point 12", u"控制点12"},
    {TextId::PointRotation, "Point Rotation", u"点旋转"},
    {rotationLabel(0), "Point 1 Rotation", u"点1旋转"},
    {rotationLabel(1), "Point 2 Rotation", u"点2旋转"},
    {rotationLabel(2), "Point 3 Rotation", u"点3旋转"},
    {rotationLabel(3), "Point 4 Rotation", u"点4旋转"},
    {rotationLabel(4), "Point 5 Rotation", u"点5旋转"},
    {rotationLabel(5), "Point 6 Rotation", u"点6旋转"},
    {rotationLabel(6), "Point 7 Rotation", u"点7旋转"},
    {rotationLabel(7), "Point 8 Rotation", u"点8旋转"},
    {rotationLabel(8), "Point 9 Rotation", u"点9旋转"},
    {rotationLabel(9), "Point 10 Rotation", u"点10旋转"},
    {rotationLabel(10), "Point 11 Rotation", u"点11旋转"},
    {rotationLabel(11), "Point 12 Rotation", u"点12旋转"},
    {TextId::PathSelect, "Path Select", u"路径选择"},
    {TextId::PathLayer, "Path Layer", u"路径图层"},
    {TextId::FitPathLength, "Fit Path Length", u"适应路径长度"},
    {TextId::ScrollMode, "Scroll Mode", u"卷轴模式"},
    {TextId::SyncLeftRight, "Sync Left/Right", u"同步左右卷曲"},
    {TextId::LeftCurl, "Left Curl", u"左侧卷曲"},
    {TextId::RightCurl, "Right Curl", u"右侧卷曲"},
    {TextId::Enabled, "Enabled", u"启用"},
    {TextId::Direction, "Direction", u"方向"},
    {TextId::DirectionInOutChoices, "Inward|Outward", u"向内|向外"},
    {TextId::CurlAngle, "Curl Angle", u"卷曲角度"},
    {TextId::Tilt, "Tilt", u"倾斜"},
    {TextId::Radius, "Radius", u"半径"},
    {TextId::RadiusChangePerTurn, "Radius Change / Turn", u"每圈半径变化"},
    {TextId::LayerAdjustment, "Layer Adjustment", u"图层调整"},
    {TextId::SubdivisionX, "Subdivision X", u"横向细分"},
    {TextId::SubdivisionY, "Subdivision Y", u"纵向细分"},
    {TextId::LayerScale, "Layer Scale", u"图层缩放"},
    {TextId::Thickness, "Thickness", u"厚度"},
    {TextId::ThicknessColor, "Thickness Color", u"厚度颜色"},
    {TextId::Specular, "Specular", u"高光强度"},
    {TextId::ShadowSoftness, "Shadow Softness", u"阴影柔和"},
    {TextId::ShadowMode, "Shadow Mode", u"阴影模式"},
    {TextId::ShadowModeChoices, "Auto|Map Fast|Ray Trace|Hybrid", u"自动|快速贴图|光线追踪|混合"},
    {TextId::ShadowQuality, "Shadow Quality", u"阴影质量"},
    {TextId::ShadowQualityChoices, "Draft|Balanced|High|Ultra", u"草稿|平衡|高|超高"},
    {TextId::FrontLayer, "Front Layer", u"正面图层"},
    {TextId::FrontColor, "Front Color", u"正面颜色"},
    {TextId::Flip, "Flip", u"翻转"},
    {TextId::BackLayer, "Back Layer", u"背面图层"},
    {TextId::BackColor, "Back Color", u"背面颜色"},
    {TextId::GeneratedState, "Generated State", u"生成状态"},
    {TextId::CurveHandle, "Curve Handle", nullptr},
    {TextId::ObjModel, "OBJ Model", u"OBJ模型"},
    {TextId::ObjSourceLayer, "OBJ Source Layer", u"OBJ源图层"},
    {TextId::ObjScale, "OBJ Scale", u"OBJ缩放"},
    {TextId::ObjCenter, "OBJ Center", u"OBJ居中"},
    {TextId::ObjFlipV, "OBJ Flip V", u"OBJ翻转 V"},
    {TextId::ObjSmoothNormals, "OBJ Smooth Normals", u"OBJ平滑法线"},
    {TextId::Shape, "Shape", u"形状"},
    {TextId::ShapeChoices, "None|Square|Round Square|Circle", u"无|正方形|圆角正方形|圆"},
    {TextId::TileAnimation, "Tile Animation", u"拼贴动画"},
    {TextId::Animation, "Animation", u"动画"},
    {TextId::AnimationDirection, "Animation Direction", u"动画方向"},
    {TextId::CommonSyncState, "Common Sync State", nullptr},
    {TextId::QuickPreview, "Quick Preview", u"快速预览"},
    {TextId::GpuAcceleration, "GPU Acceleration", u"GPU 加速"},
    {TextId::EffectName, "Zephrin", nullptr},
    {TextId::Description, "Built-in curve controls, no mask drawing required.", u"内置曲线控制，无需蒙版绘制。"},
};

constexpr bool textsInIdOrder() {
    if (sizeof(kTexts) / sizeof(kTexts[0]) != static_cast<std::size_t>(kTextCount)) return false;
    for (int i = 0; i < kTextCount; ++i) {
        if (static_cast<int>(kTexts[i].id) != i) return false;
    }
    return true;
}
static_assert(textsInIdOrder(), "the text table must hold every TextId once, in enum order");

// The host takes 8-bit text in the system code page. UTF-8 refuses best-fit substitution and needs
// WC_ERR_INVALID_CHARS to report bad input; other code pages must not silently map characters to
// look-alikes, so they use WC_NO_BEST_FIT_CHARS.
std::string toSystemCodePage(const char16_t* text) {
    const UINT codePage = GetACP();
    const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const int size = WideCharToMultiByte(codePage, flags, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string converted(static_cast<std::size_t>(size), '\0');
    const int written = WideCharToMultiByte(codePage, flags, text, -1, converted.data(), size, nullptr, nullptr);
    if (written <= 0) return {};
    converted.resize(static_cast<std::size_t>(written) - 1);  // the count includes the terminator
    return converted;
}

const std::array<std::string, kTextCount>& convertedTexts() {
    static std::array<std::string, kTextCount> converted;
    static std::once_flag filled;
    std::call_once(filled, [] {
        for (const TextPair& pair : kTexts) {
            if (pair.chinese != nullptr) converted[static_cast<std::size_t>(pair.id)] = toSystemCodePage(pair.chinese);
        }
    });
    return converted;
}

}  // namespace

const TextPair& textPair(TextId id) { return kTexts[static_cast<int>(id)]; }

const char* localize(TextId id, bool chinese) {
    const TextPair& pair = textPair(id);
    if (!chinese || pair.chinese == nullptr) return pair.english;
    return convertedTexts()[static_cast<std::size_t>(id)].c_str();
}

std::u16string wideText(TextId id, bool chinese) {
    const TextPair& pair = textPair(id);
    if (chinese && pair.chinese != nullptr) return pair.chinese;
    // English texts are ASCII, so each byte is its own UTF-16 unit.
    std::u16string wide;
    for (const char* c = pair.english; *c != '\0'; ++c) wide.push_back(static_cast<char16_t>(*c));
    return wide;
}

}  // namespace zephrin
