// The registered parameter list against an independent transcription of the contract: every position,
// disk id, type, label (English and Chinese), range, default, UI flag and flag.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "effect/editor/top_view_editor.h"
#include "fake_effect_host.h"

namespace zephrin::test {
namespace {

// type: popup, group, end, float, angle, checkbox, nodata, button, point, layer, colour
// values: float "validMin validMax sliderMin sliderMax default precision [tol]"; popup "numChoices default";
//         checkbox "on" / "off" / "value-off default-on"; colour "r g b"; point "x y z"; layer "none" / "myself";
//         button its text "English;Chinese"
// ui: "-", "custom WxH", "custom topview", "hidden", "hidden-noecw", "hidden-std"
// flags: letters S (supervise), N (cannot time vary), O (use value for old projects), C (collapsed), "-" none
struct Row {
    int pos;
    int id;
    const char* type;
    const char* en;
    const char* zh;
    const char* values;
    const char* choicesEn;
    const char* choicesZh;
    const char* ui;
    const char* flags;
};

const Row kContract[] = {
    {1, 1, "popup", "Language", "语言", "2 0", "Chinese|English", "中文|英文", "custom 116x20", "S"},
    {2, 45, "popup", "Mode", "模式", "3 1", "Free Mode|Path Select|Scroll Mode", "自由模式|路径选择|卷轴模式",
     "custom 116x20", "S"},
    {3, 46, "group", "Free Mode", "自由模式", "", nullptr, nullptr, "-", "C"},
    {4, 4, "float", "Curve Amount", "起伏强度", "0 200 0 200 100 1", nullptr, nullptr, "-", "S"},
    {5, 5, "float", "Twist Amount", "扭转强度", "0 180 0 180 65 1", nullptr, nullptr, "-", "S"},
    {6, 41, "angle", "Path Bend Direction", "路径弯曲方向", "", nullptr, nullptr, "hidden-noecw", "S"},
    {7, 82, "popup", "Tile Count", "拼贴数量", "11 1", "0|1|2|3|4|5|6|7|8|9|10", "0|1|2|3|4|5|6|7|8|9|10",
     "hidden-noecw", "S"},
    {8, 83, "checkbox", "Tile Mirror", "拼贴镜像", "off", nullptr, nullptr, "hidden-noecw", "S"},
    {9, 84, "float", "Tile Offset", "拼贴偏移", "-100 100 -100 100 0 1", nullptr, nullptr, "hidden-noecw", "S"},
    {10, 85, "float", "Motion", "运动", "0 200 0 200 100 1", nullptr, nullptr, "hidden-noecw", "S"},
    {11, 86, "popup", "Motion Direction", "运动方向", "2 1", "->|<-", "→|←", "hidden-noecw", "S"},
    {12, 67, "popup", "Point Count", "控制点数量", "11 3", "2|3|4|5|6|7|8|9|10|11|12", "2|3|4|5|6|7|8|9|10|11|12", "-",
     "S"},
    {13, 7, "nodata", "Generate Points", "生成控制点", "", nullptr, nullptr, "custom 260x20", "SN"},
    {14, 8, "button", "Reset Points", "重置控制点", "Reset;重置", nullptr, nullptr, "hidden-std", "S"},
    {15, 9, "checkbox", "Close Endpoints", "封闭端口", "off", nullptr, nullptr, "hidden", "SN"},
    {16, 10, "nodata", "Top View", "顶视图", "", nullptr, nullptr, "custom topview", "SN"},
    {17, 76, "float", "Loop Move Speed", "循环移动速度", "-100 100 -100 100 0 1", nullptr, nullptr, "hidden", "S"},
    {18, 11, "point", "Point 1", "控制点1", "0 50 0", nullptr, nullptr, "hidden", "S"},
    {19, 13, "point", "Point 2", "控制点2", "33 50 0", nullptr, nullptr, "hidden", "S"},
    {20, 15, "point", "Point 3", "控制点3", "67 50 0", nullptr, nullptr, "hidden", "S"},
    {21, 17, "point", "Point 4", "控制点4", "100 50 0", nullptr, nullptr, "hidden", "S"},
    {22, 19, "point", "Point 5", "控制点5", "100 50 0", nullptr, nullptr, "hidden", "S"},
    {23, 21, "point", "Point 6", "控制点6", "100 50 0", nullptr, nullptr, "hidden", "S"},
    {24, 23, "point", "Point 7", "控制点7", "100 50 0", nullptr, nullptr, "hidden", "S"},
    {25, 25, "point", "Point 8", "控制点8", "100 50 0", nullptr, nullptr, "hidden", "S"},
    {26, 27, "point", "Point 9", "控制点9", "100 50 0", nullptr, nullptr, "hidden", "S"},
    {27, 29, "point", "Point 10", "控制点10", "100 50 0", nullptr, nullptr, "hidden", "S"},
    {28, 31, "point", "Point 11", "控制点11", "100 50 0", nullptr, nullptr, "hidden", "S"},
    {29, 33, "point", "Point 12", "控制点12", "100 50 0", nullptr, nullptr, "hidden", "S"},
    {30, 500, "group", "Point Rotation", "点旋转", "", nullptr, nullptr, "-", "C"},
    {31, 12, "point", "Point 1 Rotation", "点1旋转", "0 0 0", nullptr, nullptr, "hidden", "S"},
    {32, 14, "point", "Point 2 Rotation", "点2旋转", "0 0 0", nullptr, nullptr, "hidden", "S"},
    {33, 16, "point", "Point 3 Rotation", "点3旋转", "0 0 0", nullptr, nullptr, "hidden", "S"},
    {34, 18, "point", "Point 4 Rotation", "点4旋转", "0 0 0", nullptr, nullptr, "hidden", "S"},
    {35, 20, "point", "Point 5 Rotation", "点5旋转", "0 0 0", nullptr, nullptr, "hidden", "S"},
    {36, 22, "point", "Point 6 Rotation", "点6旋转", "0 0 0", nullptr, nullptr, "hidden", "S"},
    {37, 24, "point", "Point 7 Rotation", "点7旋转", "0 0 0", nullptr, nullptr, "hidden", "S"},
    {38, 26, "point", "Point 8 Rotation", "点8旋转", "0 0 0", nullptr, nullptr, "hidden", "S"},
    {39, 28, "point", "Point 9 Rotation", "点9旋转", "0 0 0", nullptr, nullptr, "hidden", "S"},
    {40, 30, "point", "Point 10 Rotation", "点10旋转", "0 0 0", nullptr, nullptr, "hidden", "S"},
    {41, 32, "point", "Point 11 Rotation", "点11旋转", "0 0 0", nullptr, nullptr, "hidden", "S"},
    {42, 34, "point", "Point 12 Rotation", "点12旋转", "0 0 0", nullptr, nullptr, "hidden", "S"},
    {43, 501, "end", "", "", "", nullptr, nullptr, "-", "-"},
    {44, 53, "end", "", "", "", nullptr, nullptr, "-", "-"},
    {45, 47, "group", "Path Select", "路径选择", "", nullptr, nullptr, "-", "C"},
    {46, 48, "float", "Path Layer", "路径图层", "-16777215 16777215 -16777215 16777215 0 0", nullptr, nullptr, "hidden",
     "SN"},
    {47, 89, "layer", "Path Layer", "路径图层", "none", nullptr, nullptr, "hidden", "SN"},
    {48, 80, "nodata", "Path Layer", "路径图层", "", nullptr, nullptr, "custom 220x20", "SN"},
    {49, 49, "checkbox", "Fit Path Length", "适应路径长度", "on", nullptr, nullptr, "-", "S"},
    {50, 50, "angle", "Path Bend Direction", "路径弯曲方向", "", nullptr, nullptr, "hidden-noecw", "S"},
    {51, 51, "float", "Motion", "运动", "0 200 0 200 100 1", nullptr, nullptr, "hidden-noecw", "S"},
    {52, 81, "popup", "Motion Direction", "运动方向", "2 1", "->|<-", "→|←", "hidden-noecw", "S"},
    {53, 54, "end", "", "", "", nullptr, nullptr, "-", "-"},
    {54, 104, "group", "Scroll Mode", "卷轴模式", "", nullptr, nullptr, "-", "C"},
    {55, 105, "checkbox", "Sync Left/Right", "同步左右卷曲", "off", nullptr, nullptr, "-", "S"},
    {56, 106, "group", "Left Curl", "左侧卷曲", "", nullptr, nullptr, "-", "C"},
    {57, 107, "checkbox", "Enabled", "启用", "on", nullptr, nullptr, "-", "S"},
    {58, 108, "popup", "Direction", "方向", "2 2", "Inward|Outward", "向内|向外", "-", "S"},
    {59, 109, "angle", "Curl Angle", "卷曲角度", "", nullptr, nullptr, "-", "S"},
    {60, 110, "angle", "Tilt", "倾斜", "", nullptr, nullptr, "-", "S"},
    {61, 111, "float", "Radius", "半径", "1 10000 1 3000 100 1", nullptr, nullptr, "-", "S"},
    {62, 112, "float", "Radius Change / Turn", "每圈半径变化", "-1000 1000 -1000 1000 0 1", nullptr, nullptr, "-", "S"},
    {63, 113, "end", "", "", "", nullptr, nullptr, "-", "-"},
    {64, 114, "group", "Right Curl", "右侧卷曲", "", nullptr, nullptr, "-", "C"},
    {65, 115, "checkbox", "Enabled", "启用", "off", nullptr, nullptr, "-", "S"},
    {66, 116, "popup", "Direction", "方向", "2 2", "Inward|Outward", "向内|向外", "-", "S"},
    {67, 117, "angle", "Curl Angle", "卷曲角度", "", nullptr, nullptr, "-", "S"},
    {68, 118, "angle", "Tilt", "倾斜", "", nullptr, nullptr, "-", "S"},
    {69, 119, "float", "Radius", "半径", "1 10000 1 3000 100 1", nullptr, nullptr, "-", "S"},
    {70, 120, "float", "Radius Change / Turn", "每圈半径变化", "-1000 1000 -1000 1000 0 1", nullptr, nullptr, "-", "S"},
    {71, 121, "end", "", "", "", nullptr, nullptr, "-", "-"},
    {72, 122, "end", "", "", "", nullptr, nullptr, "-", "-"},
    {73, 98, "group", "Layer Adjustment", "图层调整", "", nullptr, nullptr, "-", "C"},
    {74, 2, "float", "Subdivision X", "横向细分", "8 640 8 320 160 0", nullptr, nullptr, "-", "S"},
    {75, 3, "float", "Subdivision Y", "纵向细分", "1 64 1 32 8 0", nullptr, nullptr, "-", "S"},
    {76, 52, "float", "Layer Scale", "图层缩放", "1 500 10 300 100 1", nullptr, nullptr, "-", "S"},
    {77, 35, "float", "Thickness", "厚度", "0 500 0 500 1 1", nullptr, nullptr, "-", "S"},
    {78, 90, "colour", "Thickness Color", "厚度颜色", "194 164 105", nullptr, nullptr, "-", "-"},
    {79, 91, "angle", "Path Bend Direction", "路径弯曲方向", "", nullptr, nullptr, "-", "S"},
    {80, 36, "float", "Specular", "高光强度", "0 300 0 300 120 1", nullptr, nullptr, "-", "S"},
    {81, 37, "float", "Shadow Softness", "阴影柔和", "0 100 0 100 55 1 tol 0", nullptr, nullptr, "hidden", "S"},
    {82, 43, "popup", "Shadow Mode", "阴影模式", "4 1", "Auto|Map Fast|Ray Trace|Hybrid", "自动|快速贴图|光线追踪|混合",
     "hidden", "S"},
    {83, 44, "popup", "Shadow Quality", "阴影质量", "4 2", "Draft|Balanced|High|Ultra", "草稿|平衡|高|超高", "hidden",
     "S"},
    {84, 38, "layer", "Front Layer", "正面图层", "myself", nullptr, nullptr, "-", "-"},
    {85, 68, "colour", "Front Color", "正面颜色", "255 255 255", nullptr, nullptr, "-", "-"},
    {86, 102, "checkbox", "Flip", "翻转", "off", nullptr, nullptr, "-", "S"},
    {87, 39, "layer", "Back Layer", "背面图层", "none", nullptr, nullptr, "-", "-"},
    {88, 40, "colour", "Back Color", "背面颜色", "194 164 105", nullptr, nullptr, "-", "-"},
    {89, 103, "checkbox", "Flip", "翻转", "off", nullptr, nullptr, "-", "S"},
    {90, 99, "end", "", "", "", nullptr, nullptr, "-", "-"},
    {91, 42, "checkbox", "Generated State", "生成状态", "off", nullptr, nullptr, "hidden", "SN"},
    {92, 55, "point", "Curve Handle", "Curve Handle", "0.06 0.06 0", nullptr, nullptr, "hidden", "SN"},
    {93, 56, "point", "Curve Handle", "Curve Handle", "0.06 0.06 0", nullptr, nullptr, "hidden", "SN"},
    {94, 57, "point", "Curve Handle", "Curve Handle", "0.06 0.06 0", nullptr, nullptr, "hidden", "SN"},
    {95, 58, "point", "Curve Handle", "Curve Handle", "0.06 0.06 0", nullptr, nullptr, "hidden", "SN"},
    {96, 59, "point", "Curve Handle", "Curve Handle", "0.06 0.06 0", nullptr, nullptr, "hidden", "SN"},
    {97, 60, "point", "Curve Handle", "Curve Handle", "0.06 0.06 0", nullptr, nullptr, "hidden", "SN"},
    {98, 61, "point", "Curve Handle", "Curve Handle", "0.06 0.06 0", nullptr, nullptr, "hidden", "SN"},
    {99, 62, "point", "Curve Handle", "Curve Handle", "0.06 0.06 0", nullptr, nullptr, "hidden", "SN"},
    {100, 63, "point", "Curve Handle", "Curve Handle", "0.06 0.06 0", nullptr, nullptr, "hidden", "SN"},
    {101, 64, "point", "Curve Handle", "Curve Handle", "0.06 0.06 0", nullptr, nullptr, "hidden", "SN"},
    {102, 65, "point", "Curve Handle", "Curve Handle", "0.06 0.06 0", nullptr, nullptr, "hidden", "SN"},
    {103, 66, "point", "Curve Handle", "Curve Handle", "0.06 0.06 0", nullptr, nullptr, "hidden", "SN"},
    {104, 69, "group", "OBJ Model", "OBJ模型", "", nullptr, nullptr, "hidden", "C"},
    {105, 70, "layer", "OBJ Source Layer", "OBJ源图层", "none", nullptr, nullptr, "hidden", "-"},
    {106, 71, "float", "OBJ Scale", "OBJ缩放", "0.01 1000 1 300 100 1", nullptr, nullptr, "hidden", "S"},
    {107, 72, "checkbox", "OBJ Center", "OBJ居中", "on", nullptr, nullptr, "hidden", "S"},
    {108, 73, "checkbox", "OBJ Flip V", "OBJ翻转 V", "on", nullptr, nullptr, "hidden", "S"},
    {109, 74, "checkbox", "OBJ Smooth Normals", "OBJ平滑法线", "on", nullptr, nullptr, "hidden", "S"},
    {110, 75, "end", "", "", "", nullptr, nullptr, "hidden", "-"},
    {111, 77, "popup", "Shape", "形状", "4 1", "None|Square|Round Square|Circle", "无|正方形|圆角正方形|圆", "hidden",
     "SN"},
    {112, 100, "group", "Tile Animation", "拼贴动画", "", nullptr, nullptr, "-", "C"},
    {113, 92, "popup", "Tile Count", "拼贴数量", "11 1", "0|1|2|3|4|5|6|7|8|9|10", "0|1|2|3|4|5|6|7|8|9|10", "-", "S"},
    {114, 93, "checkbox", "Tile Mirror", "拼贴镜像", "off", nullptr, nullptr, "-", "S"},
    {115, 94, "float", "Tile Offset", "拼贴偏移", "-100 100 -100 100 0 1", nullptr, nullptr, "-", "S"},
    {116, 95, "float", "Animation", "动画", "0 200 0 200 100 1", nullptr, nullptr, "-", "S"},
    {117, 96, "popup", "Animation Direction", "动画方向", "2 1", "->|<-", "→|←", "-", "S"},
    {118, 101, "end", "", "", "", nullptr, nullptr, "-", "-"},
    {119, 97, "checkbox", "Common Sync State", "Common Sync State", "value-off default-on", nullptr, nullptr, "hidden",
     "OSN"},
    {120, 79, "checkbox", "Quick Preview", "快速预览", "on", nullptr, nullptr, "-", "S"},
    {121, 123, "checkbox", "GPU Acceleration", "GPU 加速", "off", nullptr, nullptr, "-", "OS"},
};

PF_ParamType typeOf(const std::string& type) {
    if (type == "popup") return PF_Param_POPUP;
    if (type == "group") return PF_Param_GROUP_START;
    if (type == "end") return PF_Param_GROUP_END;
    if (type == "float") return PF_Param_FLOAT_SLIDER;
    if (type == "angle") return PF_Param_ANGLE;
    if (type == "checkbox") return PF_Param_CHECKBOX;
    if (type == "nodata") return PF_Param_NO_DATA;
    if (type == "button") return PF_Param_BUTTON;
    if (type == "point") return PF_Param_POINT_3D;
    if (type == "layer") return PF_Param_LAYER;
    if (type == "colour") return PF_Param_COLOR;
    ADD_FAILURE() << "unknown type " << type;
    return PF_Param_RESERVED;
}

PF_ParamFlags flagsOf(const std::string& letters) {
    PF_ParamFlags flags = 0;
    for (char c : letters) {
        if (c == 'S') flags |= PF_ParamFlag_SUPERVISE;
        if (c == 'N') flags |= PF_ParamFlag_CANNOT_TIME_VARY;
        if (c == 'O') flags |= PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS;
        if (c == 'C') flags |= PF_ParamFlag_COLLAPSE_TWIRLY;
    }
    return flags;
}

struct UiExpectation {
    PF_ParamUIFlags flags = 0;
    int width = 0;
    int height = 0;
};

UiExpectation uiOf(const std::string& ui, int topViewWidth, int topViewHeight) {
    const PF_ParamUIFlags hidden = PF_PUI_INVISIBLE | PF_PUI_DISABLED;
    if (ui == "-") return {};
    if (ui == "hidden") return {hidden};
    if (ui == "hidden-noecw") return {hidden | PF_PUI_NO_ECW_UI};
    if (ui == "hidden-std") return {hidden | PF_PUI_STD_CONTROL_ONLY};
    const PF_ParamUIFlags custom = PF_PUI_CONTROL | PF_PUI_DONT_ERASE_CONTROL;
    if (ui == "custom topview") return {custom, topViewWidth, topViewHeight};
    int w = 0;
    int h = 0;
    EXPECT_EQ(std::sscanf(ui.c_str(), "custom %dx%d", &w, &h), 2) << ui;
    return {custom, w, h};
}

std::vector<double> numbers(const char* text) {
    std::istringstream in(text);
    std::vector<double> out;
    for (std::string word; in >> word;) {
        if (word == "tol") continue;
        out.push_back(std::stod(word));
    }
    return out;
}

void expectMatchesContract(const Row& row, const PF_ParamDef& def, const std::string& choices, bool chinese,
                           int language) {
    SCOPED_TRACE("position " + std::to_string(row.pos));
    EXPECT_EQ(def.uu.id, row.id);
    EXPECT_EQ(def.param_type, typeOf(row.type));
    EXPECT_STREQ(def.name, chinese ? row.zh : row.en);
    const UiExpectation ui = uiOf(row.ui, 420, 170);
    EXPECT_EQ(def.ui_flags, ui.flags);
    EXPECT_EQ(def.ui_width, ui.width);
    EXPECT_EQ(def.ui_height, ui.height);
    EXPECT_EQ(def.flags, flagsOf(row.flags));

    const std::string type = row.type;
    const bool numeric = type == "float" || type == "popup" || type == "colour" || type == "point";
    const std::vector<double> v = numbers(numeric ? row.values : "");
    if (type == "float") {
        ASSERT_GE(v.size(), 6u);
        EXPECT_EQ(def.u.fs_d.valid_min, static_cast<float>(v[0]));
        EXPECT_EQ(def.u.fs_d.valid_max, static_cast<float>(v[1]));
        EXPECT_EQ(def.u.fs_d.slider_min, static_cast<float>(v[2]));
        EXPECT_EQ(def.u.fs_d.slider_max, static_cast<float>(v[3]));
        EXPECT_EQ(def.u.fs_d.value, v[4]);
        EXPECT_EQ(def.u.fs_d.dephault, static_cast<float>(v[4]));
        EXPECT_EQ(def.u.fs_d.precision, static_cast<int>(v[5]));
        EXPECT_EQ(def.u.fs_d.curve_tolerance, v.size() > 6 ? static_cast<float>(v[6]) : 0.05f);
        EXPECT_EQ(def.u.fs_d.display_flags, 0);
        EXPECT_EQ(def.u.fs_d.fs_flags, 0);
    } else if (type == "popup") {
        ASSERT_EQ(v.size(), 2u);
        const int dephault = row.pos == 1 ? language : static_cast<int>(v[1]);
        EXPECT_EQ(def.u.pd.num_choices, static_cast<int>(v[0]));
        EXPECT_EQ(def.u.pd.value, dephault);
        EXPECT_EQ(def.u.pd.dephault, dephault);
        EXPECT_EQ(choices, chinese ? row.choicesZh : row.choicesEn);
    } else if (type == "checkbox") {
        const std::string values = row.values;
        const bool valueOn = values == "on";
        const bool defaultOn = values == "on" || values == "value-off default-on";
        EXPECT_EQ(def.u.bd.value, valueOn ? 1 : 0);
        EXPECT_EQ(def.u.bd.dephault, defaultOn ? 1 : 0);
        ASSERT_NE(def.u.bd.u.nameptr, nullptr);
        EXPECT_STREQ(def.u.bd.u.nameptr, "");
    } else if (type == "angle") {
        EXPECT_EQ(def.u.ad.value, 0);
        EXPECT_EQ(def.u.ad.dephault, 0);
    } else if (type == "colour") {
        ASSERT_EQ(v.size(), 3u);
        for (const PF_Pixel& pixel : {def.u.cd.value, def.u.cd.dephault}) {
            EXPECT_EQ(pixel.alpha, 255);
            EXPECT_EQ(pixel.red, v[0]);
            EXPECT_EQ(pixel.green, v[1]);
            EXPECT_EQ(pixel.blue, v[2]);
        }
    } else if (type == "point") {
        ASSERT_EQ(v.size(), 3u);
        const PF_Point3DDef& p = def.u.point3d_d;
        EXPECT_EQ(p.x_value, v[0]);
        EXPECT_EQ(p.y_value, v[1]);
        EXPECT_EQ(p.z_value, v[2]);
        EXPECT_EQ(p.x_dephault, v[0]);
        EXPECT_EQ(p.y_dephault, v[1]);
        EXPECT_EQ(p.z_dephault, v[2]);
    } else if (type == "layer") {
        EXPECT_EQ(def.u.ld.dephault,
                  std::string(row.values) == "myself" ? PF_LayerDefault_MYSELF : PF_LayerDefault_NONE);
    } else if (type == "button") {
        const std::string texts = row.values;
        EXPECT_EQ(choices, chinese ? texts.substr(texts.find(';') + 1) : texts.substr(0, texts.find(';')));
    }
}

void expectWholeContract(FakeEffectHost& host, bool chinese) {
    host.run(PF_Cmd_GLOBAL_SETUP);
    ASSERT_EQ(host.run(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
    EXPECT_EQ(host.out.num_params, 122);
    ASSERT_EQ(host.registered.size(), std::size(kContract));
    for (std::size_t i = 0; i < std::size(kContract); ++i) {
        ASSERT_EQ(kContract[i].pos, static_cast<int>(i) + 1) << "the transcription itself is out of order";
        expectMatchesContract(kContract[i], host.registered[i], host.registeredChoices[i], chinese, chinese ? 1 : 2);
    }
}

TEST(ParamContract, EveryParameterRegistersAsTheContractSaysInEnglish) {
    FakeEffectHost host;
    host.languageTag = "en_US";
    expectWholeContract(host, false);
}

TEST(ParamContract, EveryParameterRegistersAsTheContractSaysInChinese) {
    FakeEffectHost host;
    host.languageTag = "zh_CN";
    expectWholeContract(host, true);
}

TEST(ParamContract, DiskIdsAreUnique) {
    std::vector<int> ids;
    for (const Row& row : kContract) ids.push_back(row.id);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
}

TEST(ParamContract, TopViewSizeIsClampedAtRegistration) {
    FakeEffectHost host;
    TopViewEditor& editor = topViewEditor();
    const TopViewEditor saved = editor;
    // Stored sizes outside the limits, as a resize gesture of an older process could have left them.
    editor.viewWidth = 2000;
    editor.viewHeight = 40;
    host.run(PF_Cmd_GLOBAL_SETUP);
    host.run(PF_Cmd_PARAMS_SETUP);
    editor = saved;
    const PF_ParamDef& topView = host.registered[15];
    EXPECT_EQ(topView.ui_width, 1400);
    EXPECT_EQ(topView.ui_height, 130);
}

TEST(ParamContract, FirstRefusedParameterEndsRegistration) {
    FakeEffectHost host;
    host.addParamFailsAt = 30;
    host.run(PF_Cmd_GLOBAL_SETUP);
    EXPECT_EQ(host.run(PF_Cmd_PARAMS_SETUP), PF_Err_INVALID_INDEX);
    EXPECT_EQ(host.registered.size(), 29u);
    EXPECT_TRUE(host.customUi.empty());
}

TEST(ParamContract, CustomUiRegistrationIsLoggedAndNeverFailsTheCommand) {
    EffectLogCapture log;
    {
        FakeEffectHost host;
        host.run(PF_Cmd_GLOBAL_SETUP);
        EXPECT_EQ(host.run(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
        ASSERT_EQ(host.customUi.size(), 1u);
        EXPECT_EQ(host.customUi[0].events, PF_CustomEFlag_EFFECT);
        EXPECT_EQ(host.customUi[0].comp_ui_width, 0);
        EXPECT_TRUE(log.contains("ParamsSetup: effect custom UI registered for ECW parameter controls"));
    }
    {
        FakeEffectHost host;
        host.registerUiErr = PF_Err_INVALID_CALLBACK;
        host.run(PF_Cmd_GLOBAL_SETUP);
        EXPECT_EQ(host.run(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
        EXPECT_TRUE(log.contains("ParamsSetup: effect custom UI registration ignored err=515"));
    }
    {
        FakeEffectHost host;
        host.offerRegisterUi = false;
        host.run(PF_Cmd_GLOBAL_SETUP);
        EXPECT_EQ(host.run(PF_Cmd_PARAMS_SETUP), PF_Err_NONE);
        EXPECT_TRUE(log.contains("ParamsSetup: effect custom UI registration skipped"));
    }
}

}  // namespace
}  // namespace zephrin::test
