#include "host/basic_suite.h"

#include <cstdlib>
#include <cstring>

#include "host/custom_ui/custom_ui_suites.h"
#include "host/custom_ui/drawbot_suites.h"
#include "host/suites/camera_suite.h"
#include "host/suites/canvas_suite.h"
#include "host/suites/comp_suite.h"
#include "host/suites/effect_suite.h"
#include "host/suites/footage_suite.h"
#include "host/suites/host_state.h"
#include "host/suites/item_suite.h"
#include "host/suites/keyframe_suite.h"
#include "host/suites/layer_suite.h"
#include "host/suites/light_suite.h"
#include "host/suites/memory_suite.h"
#include "host/suites/pf_suites.h"
#include "host/suites/register_suite.h"
#include "host/suites/stream_suite.h"
#include "host/suites/world_suite.h"

namespace zephrin::host {
namespace {

// Suite names a plug-in passes are C strings it owns; this bounds how far the host reads one.
constexpr size_t kMaxSuiteNameChars = 256;

SPErr acquireSuite(const char* name, A_long version, const void** suite) {
    if (suite != nullptr) *suite = nullptr;
    if (name == nullptr || suite == nullptr) return kSPSuiteNotFoundError;
    std::string key(name, strnlen(name, kMaxSuiteNameChars));
    A_Err err = guardedSuiteCall([&](HostState& state) -> A_Err {
        const void* table = findSuiteTable(key, version);
        if (table == nullptr || state.withheldSuites.count(key) != 0) return kSPSuiteNotFoundError;
        ++state.accounting.suitesAcquired;
        *suite = table;
        return kSPNoError;
    });
    return err == kSPNoError ? kSPNoError : kSPSuiteNotFoundError;
}

SPErr releaseSuite(const char* name, A_long version) {
    if (name == nullptr) return kSPSuiteNotFoundError;
    std::string key(name, strnlen(name, kMaxSuiteNameChars));
    A_Err err = guardedSuiteCall([&](HostState& state) -> A_Err {
        if (findSuiteTable(key, version) == nullptr) return kSPSuiteNotFoundError;
        ++state.accounting.suitesReleased;
        return kSPNoError;
    });
    return err == kSPNoError ? kSPNoError : kSPSuiteNotFoundError;
}

SPBoolean isEqual(const char* token1, const char* token2) {
    if (token1 == nullptr || token2 == nullptr) return token1 == token2;
    return std::strcmp(token1, token2) == 0;
}

SPErr allocateBlock(size_t size, void** block) {
    if (block == nullptr) return kSPSuiteNotFoundError;
    *block = std::malloc(size != 0 ? size : 1);
    return *block != nullptr ? kSPNoError : static_cast<SPErr>(A_Err_ALLOC);
}

SPErr freeBlock(void* block) {
    std::free(block);
    return kSPNoError;
}

SPErr reallocateBlock(void* block, size_t newSize, void** newBlock) {
    if (newBlock == nullptr) return kSPSuiteNotFoundError;
    void* grown = std::realloc(block, newSize != 0 ? newSize : 1);
    if (grown == nullptr) return static_cast<SPErr>(A_Err_ALLOC);
    *newBlock = grown;
    return kSPNoError;
}

SPErr undefinedCall() { return kSPSuiteNotFoundError; }

const SPBasicSuite kBasicSuite = {acquireSuite, releaseSuite, isEqual, allocateBlock,
                                  freeBlock,    reallocateBlock, undefinedCall};

}  // namespace

const SPBasicSuite* basicSuite() { return &kBasicSuite; }

const std::vector<OfferedSuite>& offeredSuites() {
    static const std::vector<OfferedSuite> suites = {
        {kAEGPRegisterSuite, kAEGPRegisterSuiteVersion6, &registerSuite6(), sizeof(registerSuite6())},
        {kAEGPCanvasSuite, kAEGPCanvasSuiteVersion10, &canvasSuite10(), sizeof(canvasSuite10())},
        {kAEGPCanvasSuite, kAEGPCanvasSuiteVersion14, &canvasSuite14(), sizeof(canvasSuite14())},
        {kAEGPCompSuite, kAEGPCompSuiteVersion9, &compSuite9(), sizeof(compSuite9())},
        {kAEGPItemSuite, kAEGPItemSuiteVersion10, &itemSuite10(), sizeof(itemSuite10())},
        {kAEGPLayerSuite, kAEGPLayerSuiteVersion11, &layerSuite11(), sizeof(layerSuite11())},
        {kAEGPLightSuite, kAEGPLightSuiteVersion2, &lightSuite2(), sizeof(lightSuite2())},
        {kAEGPCameraSuite, kAEGPCameraSuiteVersion2, &cameraSuite2(), sizeof(cameraSuite2())},
        {kAEGPStreamSuite, kAEGPStreamSuiteVersion7, &streamSuite7(), sizeof(streamSuite7())},
        {kAEGPStreamSuite, kAEGPStreamSuiteVersion11, &streamSuite11(), sizeof(streamSuite11())},
        {kAEGPWorldSuite, kAEGPWorldSuiteVersion2, &worldSuite(), sizeof(worldSuite())},
        {kAEGPWorldSuite, kAEGPWorldSuiteVersion3, &worldSuite(), sizeof(worldSuite())},
        {kAEGPMemorySuite, kAEGPMemorySuiteVersion1, &memorySuite1(), sizeof(memorySuite1())},
        {kAEGPFootageSuite, kAEGPFootageSuiteVersion11, &footageSuite11(), sizeof(footageSuite11())},
        // What effects use.
        {kAEGPEffectSuite, kAEGPEffectSuiteVersion4, &effectSuite4(), sizeof(effectSuite4())},
        {kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1, &pfInterfaceSuite1(), sizeof(pfInterfaceSuite1())},
        {kAEGPUtilitySuite, kAEGPUtilitySuiteVersion7, &utilitySuite7(), sizeof(utilitySuite7())},
        {kAEGPKeyframeSuite, kAEGPKeyframeSuiteVersion4, &keyframeSuite4(), sizeof(keyframeSuite4())},
        {kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion4, &dynamicStreamSuite4(),
         sizeof(dynamicStreamSuite4())},
        {kPFHandleSuite, kPFHandleSuiteVersion2, &pfHandleSuite2(), sizeof(pfHandleSuite2())},
        {kPFAppSuite, kPFAppSuiteVersion1, &pfAppSuite1(), sizeof(pfAppSuite1())},
        {kPFAdvItemSuite, kPFAdvItemSuiteVersion1, &pfAdvItemSuite1(), sizeof(pfAdvItemSuite1())},
        {kPFANSISuite, kPFANSISuiteVersion1, &pfAnsiSuite1(), sizeof(pfAnsiSuite1())},
        {kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3, &pfParamUtilsSuite3(), sizeof(pfParamUtilsSuite3())},
        // What custom controls draw and redraw with.
        {kPFAppSuite, kPFAppSuiteVersion6, &pfAppSuite6(), sizeof(pfAppSuite6())},
        {kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1, &pfEffectCustomUiSuite1(),
         sizeof(pfEffectCustomUiSuite1())},
        {kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1, &drawbotDrawSuite1(), sizeof(drawbotDrawSuite1())},
        {kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1, &drawbotSupplierSuite1(),
         sizeof(drawbotSupplierSuite1())},
        {kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version1, &drawbotSurfaceSuite1(),
         sizeof(drawbotSurfaceSuite1())},
        {kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1, &drawbotPathSuite1(), sizeof(drawbotPathSuite1())},
    };
    return suites;
}

const void* findSuiteTable(const std::string& name, A_long version) {
    for (const OfferedSuite& suite : offeredSuites()) {
        if (suite.version == version && name == suite.name) return suite.table;
    }
    return nullptr;
}

}  // namespace zephrin::host
