/* AEGP suites reached from inside an effect: registering for an AEGP plug-in id, turning the effect's
 * reference into an AEGP effect, keyframes, dynamic stream flags and the effect suite. */
#ifndef ZEPHRIN_SDK_AE_GENERALPLUGEFFECT_H
#define ZEPHRIN_SDK_AE_GENERALPLUGEFFECT_H

#include "A.h"
#include "AE_Effect.h"
#include "AE_GeneralPlug.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef A_long AEGP_KeyframeIndex;
typedef A_long AEGP_InstalledEffectKey;

#define AEGP_MAX_EFFECT_MATCH_NAME_SIZE 48

typedef A_long AEGP_DynStreamFlags;
enum {
    AEGP_DynStreamFlag_ACTIVE_EYEBALL = 1L << 0,
    AEGP_DynStreamFlag_HIDDEN = 1L << 1,
    AEGP_DynStreamFlag_DISABLED = 1L << 2,
    AEGP_DynStreamFlag_ELIDED = 1L << 3,
    AEGP_DynStreamFlag_SHOWN_WHEN_EMPTY = 1L << 4,
    AEGP_DynStreamFlag_SKIP_REVEAL_WHEN_UNHIDDEN = 1L << 5
};

typedef A_long AEGP_EffectFlags;
enum {
    AEGP_EffectFlags_NONE = 0,
    AEGP_EffectFlags_ACTIVE = 1L << 0,
    /* The project names an effect that is not installed. */
    AEGP_EffectFlags_MISSING = 1L << 3
};

#define kAEGPUtilitySuite "AEGP Utility Suite"
#define kAEGPUtilitySuiteVersion7 7
typedef struct {
    /* Gives an effect the AEGP plug-in id that stream writes are made under. */
    A_Err (*AEGP_RegisterWithAEGP)(AEGP_GlobalRefcon global_refcon, const A_char* plugin_name,
                                   AEGP_PluginID* plugin_id);
} AEGP_UtilitySuite7;

#define kAEGPPFInterfaceSuite "AEGP PF Interface Suite"
#define kAEGPPFInterfaceSuiteVersion1 1
typedef struct {
    A_Err (*AEGP_GetEffectLayer)(PF_ProgPtr effect_ref, AEGP_LayerH* layerPH);
    /* The AEGP effect behind the command's effect reference; disposed with AEGP_DisposeEffect. */
    A_Err (*AEGP_GetNewEffectForEffect)(AEGP_PluginID aegp_plugin_id, PF_ProgPtr effect_ref, AEGP_EffectRefH* effectPH);
} AEGP_PFInterfaceSuite1;

#define kAEGPKeyframeSuite "AEGP Keyframe Suite"
#define kAEGPKeyframeSuiteVersion4 4
typedef struct {
    A_Err (*AEGP_GetStreamNumKFs)(AEGP_StreamRefH streamH, A_long* num_kfsPL);
    /* Inserts a keyframe at the time, or finds the one already there; either way its index comes back. */
    A_Err (*AEGP_InsertKeyframe)(AEGP_StreamRefH streamH, AEGP_LTimeMode time_mode, const A_Time* timePT,
                                 AEGP_KeyframeIndex* key_indexP);
    A_Err (*AEGP_SetKeyframeValue)(AEGP_StreamRefH streamH, AEGP_KeyframeIndex key_index,
                                   const AEGP_StreamValue2* valueP);
} AEGP_KeyframeSuite4;

#define kAEGPDynamicStreamSuite "AEGP Dynamic Stream Suite"
#define kAEGPDynamicStreamSuiteVersion4 4
typedef struct {
    A_Err (*AEGP_GetDynamicStreamFlags)(AEGP_StreamRefH streamH, AEGP_DynStreamFlags* flagsP);
    A_Err (*AEGP_SetDynamicStreamFlag)(AEGP_StreamRefH streamH, AEGP_DynStreamFlags one_flag, A_Boolean undoableB,
                                       A_Boolean setB);
} AEGP_DynamicStreamSuite4;

#define kAEGPEffectSuite "AEGP Effect Suite"
#define kAEGPEffectSuiteVersion4 4
typedef struct {
    A_Err (*AEGP_GetLayerNumEffects)(AEGP_LayerH layerH, A_long* num_effectsPL);
    A_Err (*AEGP_GetLayerEffectByIndex)(AEGP_PluginID aegp_plugin_id, AEGP_LayerH layerH, A_long layer_effect_index,
                                        AEGP_EffectRefH* effectPH);
    A_Err (*AEGP_GetInstalledKeyFromLayerEffect)(AEGP_EffectRefH effect_refH, AEGP_InstalledEffectKey* installed_keyP);
    A_Err (*AEGP_GetEffectFlags)(AEGP_EffectRefH effect_refH, AEGP_EffectFlags* effect_flagsP);
    A_Err (*AEGP_DisposeEffect)(AEGP_EffectRefH effectH);
    A_Err (*AEGP_GetEffectMatchName)(AEGP_InstalledEffectKey installed_key,
                                     A_char match_nameZ[AEGP_MAX_EFFECT_MATCH_NAME_SIZE]);
} AEGP_EffectSuite4;

#ifdef __cplusplus
}
#endif

#endif
