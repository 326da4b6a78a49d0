#include "apps/zephrin/params_command.h"

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "apps/zephrin/cli.h"
#include "host/effect_plugin.h"
#include "host/host_session.h"

namespace zephrin::app {
namespace {

using Json = nlohmann::ordered_json;

// 16.16 fixed point, as angles are registered.
constexpr double kFixedOne = 65536.0;

const char* typeName(PF_ParamType type) {
    switch (type) {
        case PF_Param_LAYER: return "layer";
        case PF_Param_SLIDER: return "slider";
        case PF_Param_FIX_SLIDER: return "fixed slider";
        case PF_Param_ANGLE: return "angle";
        case PF_Param_CHECKBOX: return "checkbox";
        case PF_Param_COLOR: return "color";
        case PF_Param_POINT: return "point";
        case PF_Param_POPUP: return "popup";
        case PF_Param_CUSTOM: return "custom";
        case PF_Param_NO_DATA: return "no data";
        case PF_Param_FLOAT_SLIDER: return "float slider";
        case PF_Param_ARBITRARY_DATA: return "arbitrary data";
        case PF_Param_PATH: return "path";
        case PF_Param_GROUP_START: return "group start";
        case PF_Param_GROUP_END: return "group end";
        case PF_Param_BUTTON: return "button";
        case PF_Param_POINT_3D: return "point 3D";
        default: return "unknown";
    }
}

std::vector<std::string> flagNames(A_long flags, const std::vector<std::pair<A_long, const char*>>& names) {
    std::vector<std::string> list;
    for (const auto& [bit, name] : names) {
        if ((flags & bit) != 0) list.emplace_back(name);
    }
    return list;
}

std::vector<std::string> uiFlagNames(PF_ParamUIFlags flags) {
    return flagNames(flags, {{PF_PUI_TOPIC, "topic"},
                             {PF_PUI_CONTROL, "control"},
                             {PF_PUI_STD_CONTROL_ONLY, "std-control-only"},
                             {PF_PUI_NO_ECW_UI, "no-ecw-ui"},
                             {PF_PUI_ECW_SEPARATOR, "ecw-separator"},
                             {PF_PUI_DISABLED, "disabled"},
                             {PF_PUI_DONT_ERASE_TOPIC, "dont-erase-topic"},
                             {PF_PUI_DONT_ERASE_CONTROL, "dont-erase-control"},
                             {PF_PUI_RADIO_BUTTON, "radio-button"},
                             {PF_PUI_INVISIBLE, "invisible"}});
}

std::vector<std::string> paramFlagNames(PF_ParamFlags flags) {
    return flagNames(flags, {{PF_ParamFlag_CANNOT_TIME_VARY, "cannot-time-vary"},
                             {PF_ParamFlag_CANNOT_INTERP, "cannot-interp"},
                             {PF_ParamFlag_COLLAPSE_TWIRLY, "collapse-twirly"},
                             {PF_ParamFlag_SUPERVISE, "supervise"},
                             {PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS, "use-value-for-old-projects"},
                             {PF_ParamFlag_EXCLUDE_FROM_HAVE_INPUTS_CHANGED, "exclude-from-have-inputs-changed"},
                             {PF_ParamFlag_SKIP_REVEAL_WHEN_UNHIDDEN, "skip-reveal-when-unhidden"}});
}

std::vector<std::string> splitChoices(const std::string& choices) {
    std::vector<std::string> list;
    if (choices.empty()) return list;
    size_t start = 0;
    for (size_t bar = choices.find('|'); bar != std::string::npos; bar = choices.find('|', start)) {
        list.push_back(choices.substr(start, bar - start));
        start = bar + 1;
    }
    list.push_back(choices.substr(start));
    return list;
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// The registered default, in the units a scene file writes.
Json defaultOf(const host::RegisteredParam& p) {
    const PF_ParamDef& def = p.def;
    switch (def.param_type) {
        case PF_Param_FLOAT_SLIDER: return def.u.fs_d.dephault;
        case PF_Param_ANGLE: return def.u.ad.dephault / kFixedOne;
        case PF_Param_CHECKBOX: return def.u.bd.dephault != 0;
        case PF_Param_POPUP: return def.u.pd.dephault;
        case PF_Param_COLOR:
            return Json::array({def.u.cd.dephault.red / 255.0, def.u.cd.dephault.green / 255.0,
                                def.u.cd.dephault.blue / 255.0});
        case PF_Param_POINT_3D:
            return Json::array({def.u.point3d_d.x_dephault, def.u.point3d_d.y_dephault, def.u.point3d_d.z_dephault});
        case PF_Param_LAYER: return def.u.ld.dephault == PF_LayerDefault_MYSELF ? "this layer" : "none";
        default: return nullptr;
    }
}

Json paramJson(const host::RegisteredParam& p) {
    const PF_ParamDef& def = p.def;
    Json j;
    j["position"] = p.position;
    j["id"] = def.uu.id;
    j["type"] = typeName(def.param_type);
    j["label"] = def.name;
    j["group"] = p.groupPath;
    j["depth"] = p.groupDepth;
    if (def.param_type == PF_Param_POPUP) j["choices"] = splitChoices(p.choices);
    if (def.param_type == PF_Param_BUTTON) j["buttonText"] = p.choices;
    if (def.param_type == PF_Param_FLOAT_SLIDER) {
        j["validRange"] = Json::array({def.u.fs_d.valid_min, def.u.fs_d.valid_max});
        j["sliderRange"] = Json::array({def.u.fs_d.slider_min, def.u.fs_d.slider_max});
        j["precision"] = def.u.fs_d.precision;
    }
    if (def.param_type == PF_Param_ANGLE && def.u.ad.valid_min < def.u.ad.valid_max) {
        j["validRange"] = Json::array({def.u.ad.valid_min / kFixedOne, def.u.ad.valid_max / kFixedOne});
    }
    if (def.param_type == PF_Param_POPUP) j["validRange"] = Json::array({1, def.u.pd.num_choices});
    j["default"] = defaultOf(p);
    j["uiFlags"] = def.ui_flags;
    j["uiFlagNames"] = uiFlagNames(def.ui_flags);
    j["flags"] = def.flags;
    j["flagNames"] = paramFlagNames(def.flags);
    if (def.ui_width != 0 || def.ui_height != 0) j["uiSize"] = Json::array({def.ui_width, def.ui_height});
    return j;
}

std::string joined(const std::vector<std::string>& names, const char* separator) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : separator) + name;
    return text;
}

std::string defaultText(const host::RegisteredParam& p, const Json& value) {
    if (value.is_array()) {
        std::vector<std::string> parts;
        for (const Json& v : value) parts.push_back(number(v.get<double>()));
        return "[" + joined(parts, ", ") + "]";
    }
    if (value.is_number()) {
        std::string text = number(value.get<double>());
        std::vector<std::string> choices = splitChoices(p.choices);
        auto choice = static_cast<size_t>(p.def.u.pd.dephault);
        if (p.def.param_type == PF_Param_POPUP && choice >= 1 && choice <= choices.size()) {
            text += " (" + choices[choice - 1] + ")";
        }
        return text;
    }
    return value.is_string() ? value.get<std::string>() : value.dump();
}

// One line per parameter, indented by its group depth.
void printText(const std::vector<host::RegisteredParam>& params, std::ostream& out) {
    for (const host::RegisteredParam& p : params) {
        const PF_ParamDef& def = p.def;
        Json j = paramJson(p);
        out << p.position << "\t" << std::string(static_cast<size_t>(p.groupDepth) * 2, ' ');
        if (def.param_type == PF_Param_GROUP_END) {
            out << "(end of group)";
        } else {
            out << "\"" << def.name << "\"";
        }
        out << "  [" << typeName(def.param_type) << ", id " << def.uu.id << "]";
        if (j.contains("choices")) out << "  choices: " << joined(j["choices"].get<std::vector<std::string>>(), " | ");
        if (j.contains("buttonText")) out << "  button: " << p.choices;
        if (j.contains("validRange") && def.param_type != PF_Param_POPUP) {
            out << "  range " << number(j["validRange"][0].get<double>()) << " to "
                << number(j["validRange"][1].get<double>());
        }
        if (!j["default"].is_null()) out << "  default " << defaultText(p, j["default"]);
        if (def.ui_flags != 0) out << "  ui " << joined(uiFlagNames(def.ui_flags), "|");
        if (def.flags != 0) out << "  flags " << joined(paramFlagNames(def.flags), "|");
        out << "\n";
    }
}

}  // namespace

int runParams(const ParamsOptions& options, std::ostream& out) {
    host::HostOptions hostOptions;
    hostOptions.requireRenderer = false;  // the parameter list is the effect's alone
    if (options.language == "zh") {
        hostOptions.languageTag = "zh_CN";
    } else if (options.language != "en") {
        std::cerr << "zephrin: --lang " << options.language << ": expected en or zh\n";
        return kExitUsage;
    }
    try {
        host::PluginHostPtr pluginHost = host::openPluginHost(options.pluginDir, hostOptions);
        host::EffectPlugin* effect = host::loadedEffect(*pluginHost);
        if (effect == nullptr) {
            std::cerr << "zephrin: no effect plug-in in " << options.pluginDir.string() << ": expected Zephrin.so\n";
            return kExitRenderFailure;
        }
        std::vector<host::RegisteredParam> params = host::registeredParams(*effect);
        if (options.json) {
            Json list = Json::array();
            for (const host::RegisteredParam& p : params) list.push_back(paramJson(p));
            Json doc;
            doc["effect"] = effect->name;
            doc["matchName"] = effect->matchName;
            doc["parameters"] = list;
            out << doc.dump(2) << "\n";
        } else {
            out << effect->name << " (" << effect->matchName << "): " << params.size()
                << " parameters; position 0 is the layer the effect is applied to\n";
            printText(params, out);
        }
    } catch (const std::exception& error) {
        std::cerr << "zephrin: " << error.what() << "\n";
        return kExitRenderFailure;
    }
    return kExitOk;
}

}  // namespace zephrin::app
