/* AEGP (general plug-in) suites of the host SDK: only the operations the plug-ins call. */
#ifndef ZEPHRIN_SDK_AE_GENERALPLUG_H
#define ZEPHRIN_SDK_AE_GENERALPLUG_H

#include "A.h"
#include "AE_Effect.h"
#include "PR_Public.h"
#include "SPBasic.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _AEGP_Comp* AEGP_CompH;
typedef struct _AEGP_Item* AEGP_ItemH;
typedef struct _AEGP_Layer* AEGP_LayerH;
typedef struct _AEGP_World* AEGP_WorldH;
typedef struct _AEGP_Footage* AEGP_FootageH;
typedef struct _AEGP_Stream* AEGP_StreamRefH;
typedef struct _AEGP_MemHandle* AEGP_MemHandle;
typedef struct _AEGP_RenderLayerContext* AEGP_RenderLayerContextH;
typedef struct _AEGP_GlobalRefcon* AEGP_GlobalRefcon;
typedef struct _AEGP_DeathRefcon* AEGP_DeathRefcon;
typedef struct _AEGP_EffectRefH* AEGP_EffectRefH;

typedef A_long AEGP_LayerIDVal;
typedef A_u_long AEGP_MemSize;

typedef A_long AEGP_ObjectType;
enum {
    AEGP_ObjectType_NONE = -1,
    AEGP_ObjectType_AV = 0,
    AEGP_ObjectType_LIGHT = 1,
    AEGP_ObjectType_CAMERA = 2,
    AEGP_ObjectType_TEXT = 3,
    AEGP_ObjectType_VECTOR = 4
};

typedef A_long AEGP_LayerFlags;
enum {
    AEGP_LayerFlag_NONE = 0x00000000,
    AEGP_LayerFlag_VIDEO_ACTIVE = 0x00000001,
    AEGP_LayerFlag_AUDIO_ACTIVE = 0x00000002,
    AEGP_LayerFlag_EFFECTS_ACTIVE = 0x00000004,
    AEGP_LayerFlag_MOTION_BLUR = 0x00000008,
    AEGP_LayerFlag_FRAME_BLENDING = 0x00000010,
    AEGP_LayerFlag_LOCKED = 0x00000020,
    AEGP_LayerFlag_SHY = 0x00000040,
    AEGP_LayerFlag_COLLAPSE = 0x00000080,
    AEGP_LayerFlag_AUTO_ORIENT_ROTATION = 0x00000100,
    AEGP_LayerFlag_ADJUSTMENT_LAYER = 0x00000200,
    AEGP_LayerFlag_TIME_REMAPPING = 0x00000400,
    AEGP_LayerFlag_LAYER_IS_3D = 0x00000800,
    AEGP_LayerFlag_LOOK_AT_CAMERA = 0x00001000,
    AEGP_LayerFlag_LOOK_AT_POI = 0x00002000,
    AEGP_LayerFlag_SOLO = 0x00004000,
    AEGP_LayerFlag_MARKERS_LOCKED = 0x00008000,
    AEGP_LayerFlag_NULL_LAYER = 0x00010000,
    AEGP_LayerFlag_HIDE_LOCKED_MASKS = 0x00020000,
    AEGP_LayerFlag_GUIDE_LAYER = 0x00040000
};

typedef A_long AEGP_LTimeMode;
enum { AEGP_LTimeMode_LayerTime = 0, AEGP_LTimeMode_CompTime = 1 };

typedef A_long AEGP_WorldType;
enum { AEGP_WorldType_NONE = 0, AEGP_WorldType_8 = 1, AEGP_WorldType_16 = 2, AEGP_WorldType_32 = 3 };

typedef A_long AEGP_LightType;
enum {
    AEGP_LightType_NONE = -1,
    AEGP_LightType_PARALLEL = 0,
    AEGP_LightType_SPOT = 1,
    AEGP_LightType_POINT = 2,
    AEGP_LightType_AMBIENT = 3
};

typedef A_long AEGP_CameraType;
enum { AEGP_CameraType_NONE = -1, AEGP_CameraType_PERSPECTIVE = 0, AEGP_CameraType_ORTHOGRAPHIC = 1 };

typedef A_long AEGP_ItemType;
enum {
    AEGP_ItemType_NONE = 0,
    AEGP_ItemType_FOLDER = 1,
    AEGP_ItemType_COMP = 2,
    AEGP_ItemType_SOLID_defunct = 3,
    AEGP_ItemType_FOOTAGE = 4
};

/* Layer streams by the host's ids. */
typedef A_long AEGP_LayerStream;
enum {
    AEGP_LayerStream_NONE = -1,
    AEGP_LayerStream_ANCHORPOINT = 0,
    AEGP_LayerStream_POSITION = 1,
    AEGP_LayerStream_SCALE = 2,
    AEGP_LayerStream_ROTATION = 3,
    AEGP_LayerStream_ROTATE_Z = AEGP_LayerStream_ROTATION,
    AEGP_LayerStream_OPACITY = 4,
    AEGP_LayerStream_AUDIO = 5,
    AEGP_LayerStream_MARKER = 6,
    AEGP_LayerStream_TIME_REMAP = 7,
    AEGP_LayerStream_ROTATE_X = 8,
    AEGP_LayerStream_ROTATE_Y = 9,
    AEGP_LayerStream_ORIENTATION = 10,
    AEGP_LayerStream_ZOOM = 11,
    AEGP_LayerStream_DEPTH_OF_FIELD = 12,
    AEGP_LayerStream_FOCUS_DISTANCE = 13,
    AEGP_LayerStream_APERTURE = 14,
    AEGP_LayerStream_BLUR_LEVEL = 15,
    AEGP_LayerStream_INTENSITY = 16,
    AEGP_LayerStream_COLOR = 17,
    AEGP_LayerStream_CONE_ANGLE = 18,
    AEGP_LayerStream_CONE_FEATHER = 19,
    AEGP_LayerStream_SHADOW_DARKNESS = 20,
    AEGP_LayerStream_SHADOW_DIFFUSION = 21,
    AEGP_LayerStream_ACCEPTS_SHADOWS = 22,
    AEGP_LayerStream_ACCEPTS_LIGHTS = 23,
    AEGP_LayerStream_AMBIENT_COEFF = 24,
    AEGP_LayerStream_DIFFUSE_COEFF = 25,
    AEGP_LayerStream_SPECULAR_INTENSITY = 26,
    AEGP_LayerStream_SPECULAR_SHININESS = 27,
    AEGP_LayerStream_CASTS_SHADOWS = 28,
    AEGP_LayerStream_LIGHT_TRANSMISSION = 29,
    AEGP_LayerStream_METAL = 30,
    AEGP_LayerStream_REFLECTION_INTENSITY = 31,
    AEGP_LayerStream_REFLECTION_SHARPNESS = 32,
    AEGP_LayerStream_REFLECTION_ROLLOFF = 33,
    AEGP_LayerStream_TRANSPARENCY_COEFF = 34,
    AEGP_LayerStream_TRANSPARENCY_ROLLOFF = 35,
    AEGP_LayerStream_INDEX_OF_REFRACTION = 36,
    AEGP_LayerStream_LIGHT_FALLOFF_TYPE = 40,
    AEGP_LayerStream_LIGHT_FALLOFF_RADIUS = 41,
    AEGP_LayerStream_LIGHT_FALLOFF_DISTANCE = 42
};

typedef A_long AEGP_StreamType;
enum {
    AEGP_StreamType_NO_DATA = 0,
    AEGP_StreamType_ThreeD_SPATIAL = 1,
    AEGP_StreamType_ThreeD = 2,
    AEGP_StreamType_TwoD_SPATIAL = 3,
    AEGP_StreamType_TwoD = 4,
    AEGP_StreamType_OneD = 5,
    AEGP_StreamType_COLOR = 6,
    AEGP_StreamType_ARB = 7,
    AEGP_StreamType_MARKER = 8,
    AEGP_StreamType_LAYER_ID = 9,
    AEGP_StreamType_MASK_ID = 10,
    AEGP_StreamType_MASK = 11,
    AEGP_StreamType_TEXT_DOCUMENT = 12
};

typedef A_FpLong AEGP_OneDVal;
typedef struct { A_FpLong x, y; } AEGP_TwoDVal;
typedef struct { A_FpLong x, y, z; } AEGP_ThreeDVal;
typedef struct { A_FpLong x, y, z, w; } AEGP_FourDVal;
typedef struct { A_FpLong alphaF, redF, greenF, blueF; } AEGP_ColorVal;

typedef union {
    AEGP_FourDVal four_d;
    AEGP_ThreeDVal three_d;
    AEGP_TwoDVal two_d;
    AEGP_OneDVal one_d;
    AEGP_ColorVal color;
    AEGP_LayerIDVal layer_id;
} AEGP_StreamVal;

/* A stream's value as the host lends it: the stream it came from and the value itself. Disposed by the
   borrower with AEGP_DisposeStreamValue. */
typedef AEGP_StreamVal AEGP_StreamVal2;
typedef struct {
    AEGP_StreamRefH streamH;
    AEGP_StreamVal2 val;
} AEGP_StreamValue2;

typedef struct {
    A_short xS, yS;
} AEGP_DownsampleFactor;

typedef A_long AEGP_RenderHints;
enum {
    AEGP_RenderHints_NONE = 0,
    AEGP_RenderHints_IGNORE_EXTENTS = 0x1,
    AEGP_RenderHints_NO_TRANSFER_MODE = 0x2,
    /* The layer's own effects are left out of the render. */
    AEGP_RenderHints_NO_EFFECTS = 0x4
};

typedef A_long AEGP_MemFlag;
enum { AEGP_MemFlag_NONE = 0, AEGP_MemFlag_CLEAR = 1, AEGP_MemFlag_QUIET = 2 };

typedef A_Err (*AEGP_DeathHook)(AEGP_GlobalRefcon plugin_refconP, AEGP_DeathRefcon refconP);

/* Renderer registration entry: the host calls it once at start-up. */
typedef A_Err (*AEGP_PluginInitFuncPrototype)(struct SPBasicSuite* pica_basicP, A_long major_versionL,
                                              A_long minor_versionL, AEGP_PluginID aegp_plugin_id,
                                              AEGP_GlobalRefcon* global_refconP);

#define kAEGPRegisterSuite "AEGP Register Suite"
#define kAEGPRegisterSuiteVersion6 6
typedef struct {
    A_Err (*AEGP_RegisterDeathHook)(AEGP_PluginID aegp_plugin_id, AEGP_DeathHook death_hook_func,
                                    AEGP_DeathRefcon refconP);
    A_Err (*AEGP_RegisterArtisan)(A_Version api_version, A_Version artisan_version, AEGP_PluginID aegp_plugin_id,
                                  void* aegp_refconPV, const A_char* match_nameZ, const A_char* artisan_nameZ,
                                  PR_ArtisanEntryPoints* entry_funcsP);
} AEGP_RegisterSuite6;

#define kAEGPCanvasSuite "AEGP Canvas Suite"
#define kAEGPCanvasSuiteVersion10 10
#define kAEGPCanvasSuiteVersion14 14
typedef struct {
    A_Err (*AEGP_GetCompToRender)(PR_RenderContextH render_contextH, AEGP_CompH* compPH);
    A_Err (*AEGP_GetNumLayersToRender)(PR_RenderContextH render_contextH, A_long* num_to_renderPL);
    A_Err (*AEGP_GetNthLayerContextToRender)(PR_RenderContextH render_contextH, A_long n,
                                             AEGP_RenderLayerContextH* layer_indexPH);
    A_Err (*AEGP_GetLayerFromLayerContext)(PR_RenderContextH render_contextH, AEGP_RenderLayerContextH layer_contextH,
                                           AEGP_LayerH* layerPH);
    A_Err (*AEGP_GetCompRenderTime)(PR_RenderContextH render_contextH, A_Time* time, A_Time* time_step);
    A_Err (*AEGP_GetCompDestinationBuffer)(PR_RenderContextH render_contextH, AEGP_CompH compH,
                                           AEGP_WorldH* dst_worldPH);
    A_Err (*AEGP_DisposeTexture)(PR_RenderContextH render_contextH, AEGP_RenderLayerContextH layer_contextH,
                                 AEGP_WorldH dst0);
    A_Err (*AEGP_GetRenderDownsampleFactor)(PR_RenderContextH render_contextH, AEGP_DownsampleFactor* dsfP);
    A_Err (*AEGP_GetRenderLayerToWorldXform)(PR_RenderContextH render_contextH,
                                             AEGP_RenderLayerContextH layer_contextH, const A_Time* comp_timeP,
                                             A_Matrix4* transform);
    A_Err (*AEGP_GetRenderLayerBounds)(PR_RenderContextH render_contextH, AEGP_RenderLayerContextH layer_contextH,
                                       const A_Time* comp_timeP, A_LegacyRect* bounds);
    A_Err (*AEGP_GetRenderOpacity)(PR_RenderContextH render_contextH, AEGP_RenderLayerContextH layer_contextH,
                                   const A_Time* comp_timePT, A_FpLong* opacityPF);
    A_Err (*AEGP_IsRenderLayerActive)(PR_RenderContextH render_contextH, AEGP_RenderLayerContextH layer_contextH,
                                      const A_Time* comp_timePT, A_Boolean* activePB);
    A_Err (*AEGP_RenderLayerPlus)(PR_RenderContextH render_contextH, AEGP_LayerH layerH,
                                  AEGP_RenderLayerContextH layer_contextH, AEGP_RenderHints render_hints,
                                  AEGP_WorldH* dstPH);
} AEGP_CanvasSuite10;

typedef struct {
    A_Err (*AEGP_GetNumBinsToRender)(PR_RenderContextH render_contextH, A_long* num_binsPL);
    A_Err (*AEGP_GetInteractiveCachedBuffer)(PR_RenderContextH render_contextH, AEGP_WorldH* bufferPH);
} AEGP_CanvasSuite14;

#define kAEGPCompSuite "AEGP Comp Suite"
#define kAEGPCompSuiteVersion9 9
typedef struct {
    A_Err (*AEGP_GetItemFromComp)(AEGP_CompH compH, AEGP_ItemH* itemPH);
    A_Err (*AEGP_GetCompFramerate)(AEGP_CompH compH, A_FpLong* fpsPF);
    A_Err (*AEGP_GetCompDownsampleFactor)(AEGP_CompH compH, AEGP_DownsampleFactor* dsfP);
    A_Err (*AEGP_SetCompDownsampleFactor)(AEGP_CompH compH, const AEGP_DownsampleFactor* dsfP);
} AEGP_CompSuite9;

#define kAEGPItemSuite "AEGP Item Suite"
#define kAEGPItemSuiteVersion10 10
typedef struct {
    A_Err (*AEGP_GetItemType)(AEGP_ItemH itemH, AEGP_ItemType* item_typeP);
    A_Err (*AEGP_GetItemID)(AEGP_ItemH itemH, A_long* item_idPL);
    A_Err (*AEGP_GetItemDimensions)(AEGP_ItemH itemH, A_long* widthPL, A_long* heightPL);
    A_Err (*AEGP_GetItemDuration)(AEGP_ItemH itemH, A_Time* durationPT);
} AEGP_ItemSuite10;

#define kAEGPLayerSuite "AEGP Layer Suite"
#define kAEGPLayerSuiteVersion11 11
typedef struct {
    A_Err (*AEGP_GetCompNumLayers)(AEGP_CompH compH, A_long* num_layersPL);
    A_Err (*AEGP_GetCompLayerByIndex)(AEGP_CompH compH, A_long layer_indexL, AEGP_LayerH* layerPH);
    A_Err (*AEGP_GetLayerSourceItem)(AEGP_LayerH layerH, AEGP_ItemH* source_itemPH);
    A_Err (*AEGP_GetLayerIndex)(AEGP_LayerH layerH, A_long* layer_indexPL);
    A_Err (*AEGP_GetLayerFlags)(AEGP_LayerH layerH, AEGP_LayerFlags* layer_flagsP);
    A_Err (*AEGP_IsVideoActive)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode, const A_Time* timePT,
                                A_Boolean* is_activePB);
    A_Err (*AEGP_IsLayer3D)(AEGP_LayerH layerH, A_Boolean* is_3DPB);
    A_Err (*AEGP_GetLayerMaskedBounds)(AEGP_LayerH layerH, AEGP_LTimeMode time_mode, const A_Time* timePT,
                                       A_FloatRect* boundsPR);
    A_Err (*AEGP_GetLayerObjectType)(AEGP_LayerH layerH, AEGP_ObjectType* object_type);
    A_Err (*AEGP_GetLayerToWorldXform)(AEGP_LayerH layerH, const A_Time* comp_timeP, A_Matrix4* transform);
    A_Err (*AEGP_GetLayerID)(AEGP_LayerH layerH, AEGP_LayerIDVal* id);
    A_Err (*AEGP_GetLayerFromLayerID)(AEGP_CompH parent_compH, AEGP_LayerIDVal id, AEGP_LayerH* layerPH);
    A_Err (*AEGP_GetLayerParent)(AEGP_LayerH layerH, AEGP_LayerH* parent_layerPH);
    /* The video switch as the render sees it (solo taken into account). */
    A_Err (*AEGP_IsLayerVideoReallyOn)(AEGP_LayerH layerH, A_Boolean* onPB);
    /* Layer and source names as NUL-terminated UTF-16 in memory handles the caller frees; either may be null. */
    A_Err (*AEGP_GetLayerName)(AEGP_PluginID pluginID, AEGP_LayerH layerH, AEGP_MemHandle* utf_layer_nameMH0,
                               AEGP_MemHandle* utf_source_nameMH0);
    A_Err (*AEGP_GetLayerParentComp)(AEGP_LayerH layerH, AEGP_CompH* compPH);
} AEGP_LayerSuite11;

#define kAEGPLightSuite "AEGP Light Suite"
#define kAEGPLightSuiteVersion2 2
typedef struct {
    A_Err (*AEGP_GetLightType)(AEGP_LayerH light_layerH, AEGP_LightType* light_type);
} AEGP_LightSuite2;

#define kAEGPCameraSuite "AEGP Camera Suite"
#define kAEGPCameraSuiteVersion2 2
typedef struct {
    A_Err (*AEGP_GetCamera)(PR_RenderContextH render_contextH, const A_Time* comp_timeP, AEGP_LayerH* camera_layerPH);
    A_Err (*AEGP_GetCameraType)(AEGP_LayerH aegp_layerH, AEGP_CameraType* camera_type);
} AEGP_CameraSuite2;

#define kAEGPStreamSuite "AEGP Stream Suite"
#define kAEGPStreamSuiteVersion7 7
#define kAEGPStreamSuiteVersion11 11
typedef struct {
    A_Err (*AEGP_GetLayerStreamValue)(AEGP_LayerH layerH, AEGP_LayerStream which_stream, AEGP_LTimeMode time_mode,
                                      const A_Time* timePT, A_Boolean pre_expressionB, AEGP_StreamVal* stream_valP,
                                      AEGP_StreamType* stream_typeP0);
} AEGP_StreamSuite7;

typedef struct {
    A_Err (*AEGP_GetLayerStreamValue)(AEGP_LayerH layerH, AEGP_LayerStream which_stream, AEGP_LTimeMode time_mode,
                                      const A_Time* timePT, A_Boolean pre_expressionB, AEGP_StreamVal* stream_valP,
                                      AEGP_StreamType* stream_typeP0);
    /* Effect parameter streams, addressed by the parameter's position in the effect's list. */
    A_Err (*AEGP_GetNewEffectStreamByIndex)(AEGP_PluginID aegp_plugin_id, AEGP_EffectRefH effect_refH,
                                            A_long param_index, AEGP_StreamRefH* streamPH);
    A_Err (*AEGP_DisposeStream)(AEGP_StreamRefH streamH);
    A_Err (*AEGP_GetStreamType)(AEGP_StreamRefH streamH, AEGP_StreamType* stream_typeP);
    A_Err (*AEGP_CanVaryOverTime)(AEGP_StreamRefH streamH, A_Boolean* can_varyPB);
    A_Err (*AEGP_GetNewStreamValue)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH, AEGP_LTimeMode time_mode,
                                    const A_Time* timePT, A_Boolean pre_expressionB, AEGP_StreamValue2* valueP);
    A_Err (*AEGP_DisposeStreamValue)(AEGP_StreamValue2* valueP);
    /* Sets the value of a stream without keyframes (an undoable change). */
    A_Err (*AEGP_SetStreamValue)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH, AEGP_StreamValue2* valueP);
    A_Err (*AEGP_SetExpressionState)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH, A_Boolean enabledB);
    /* The expression text is NUL-terminated UTF-16. */
    A_Err (*AEGP_SetExpression)(AEGP_PluginID aegp_plugin_id, AEGP_StreamRefH streamH,
                                const A_UTF16Char* expressionP);
    /* How many parameter streams the effect has, the input layer at position 0 included. */
    A_Err (*AEGP_GetEffectNumParamStreams)(AEGP_EffectRefH effect_refH, A_long* num_parametersPL);
} AEGP_StreamSuite11;

#define kAEGPWorldSuite "AEGP World Suite"
#define kAEGPWorldSuiteVersion2 2
#define kAEGPWorldSuiteVersion3 3
typedef struct {
    A_Err (*AEGP_New)(AEGP_PluginID plugin_id, AEGP_WorldType type, A_long widthL, A_long heightL,
                      AEGP_WorldH* worldPH);
    A_Err (*AEGP_Dispose)(AEGP_WorldH worldH);
    A_Err (*AEGP_GetType)(AEGP_WorldH worldH, AEGP_WorldType* typeP);
    A_Err (*AEGP_GetSize)(AEGP_WorldH worldH, A_long* widthPL, A_long* heightPL);
    A_Err (*AEGP_GetRowBytes)(AEGP_WorldH worldH, A_u_long* row_bytesPL);
    A_Err (*AEGP_GetBaseAddr8)(AEGP_WorldH worldH, PF_Pixel8** base_addrP);
    A_Err (*AEGP_GetBaseAddr16)(AEGP_WorldH worldH, PF_Pixel16** base_addrP);
    A_Err (*AEGP_GetBaseAddr32)(AEGP_WorldH worldH, PF_PixelFloat** base_addrP);
} AEGP_WorldSuite3;
typedef AEGP_WorldSuite3 AEGP_WorldSuite2;

#define kAEGPMemorySuite "AEGP Memory Suite"
#define kAEGPMemorySuiteVersion1 1
typedef struct {
    A_Err (*AEGP_NewMemHandle)(AEGP_PluginID plugin_id, const A_char* whatZ, AEGP_MemSize size, AEGP_MemFlag flags,
                               AEGP_MemHandle* memPH);
    A_Err (*AEGP_FreeMemHandle)(AEGP_MemHandle memH);
    A_Err (*AEGP_LockMemHandle)(AEGP_MemHandle memH, void** ptr_to_ptr);
    A_Err (*AEGP_UnlockMemHandle)(AEGP_MemHandle memH);
    A_Err (*AEGP_GetMemHandleSize)(AEGP_MemHandle memH, AEGP_MemSize* sizeP);
} AEGP_MemorySuite1;

#define kAEGPFootageSuite "AEGP Footage Suite"
#define kAEGPFootageSuiteVersion11 11
typedef struct {
    A_Err (*AEGP_GetMainFootageFromItem)(AEGP_ItemH itemH, AEGP_FootageH* footagePH);
    /* The path comes back as a NUL-terminated UTF-16 string in a memory handle the caller frees. */
    A_Err (*AEGP_GetFootagePath)(AEGP_FootageH footageH, A_long frame_numL, A_long file_indexL,
                                 AEGP_MemHandle* unicode_pathPH);
} AEGP_FootageSuite11;

#ifdef __cplusplus
}
#endif

#endif
