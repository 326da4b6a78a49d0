#include "effect/editor/editor_texts.h"

#include <array>

#include "common/effect_contract.h"

namespace zephrin {
namespace {

struct EditorTextPair {
    const char16_t* english;
    const char16_t* chinese;
};

constexpr std::array<EditorTextPair, 12> kTexts{{
    {u"Close Ends ON", u"封闭端口 ON"},
    {u"Close Ends OFF", u"封闭端口 OFF"},
    {u"Shape: None", u"形状: 无"},
    {u"Shape: Square", u"形状: 正方形"},
    {u"Shape: Round Square", u"形状: 圆角正方形"},
    {u"Shape: Circle", u"形状: 圆"},
    {u"Speed", u"速度"},
    {u"Copy", u"复制"},
    {u"Paste", u"粘贴"},
    {u"Generate", u"生成"},
    {u"Reset", u"重置"},
    {u"None", u"无"},
}};

}  // namespace

std::u16string editorText(EditorText id, bool chinese) {
    const EditorTextPair& pair = kTexts[static_cast<std::size_t>(id)];
    return chinese ? pair.chinese : pair.english;
}

std::u16string shapeLabel(int shape, bool chinese) {
    if (shape < param::kShapeNone || shape > param::kShapeCircle) shape = param::kShapeNone;
    return editorText(static_cast<EditorText>(static_cast<int>(EditorText::ShapeNone) + shape - param::kShapeNone),
                      chinese);
}

}  // namespace zephrin
