/* Artisan (3D renderer plug-in) interface of the host SDK. */
#ifndef ZEPHRIN_SDK_PR_PUBLIC_H
#define ZEPHRIN_SDK_PR_PUBLIC_H

#include "A.h"
#include "SPBasic.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef A_long AEGP_PluginID;
typedef struct _PR_GlobalContext* PR_GlobalContextH;
typedef struct _PR_InstanceContext* PR_InstanceContextH;
typedef struct _PR_RenderContext* PR_RenderContextH;
typedef struct _PR_QueryContext* PR_QueryContextH;
typedef void* PR_GlobalDataH;
typedef void* PR_InstanceDataH;
typedef void* PR_FlatHandle;

typedef A_Err (*PR_MessageFunc)(A_Err err, const A_char* msgA0);

/* Handed to every Artisan callback: message function first, basic suite second. */
typedef struct {
    PR_MessageFunc msg_func;
    const SPBasicSuite* pica_basicP;
    AEGP_PluginID aegp_plug_id;
    void* aegp_refconPV;
} PR_InData;

typedef A_long PR_InstanceFlags;
enum { PR_InstanceFlags_NONE = 0, PR_InstanceFlags_DUPLICATE = 1 };

typedef A_long PR_DialogResult;
enum { PR_DialogResult_NO_CHANGE = 0, PR_DialogResult_CHANGE_MADE = 1 };

typedef A_long PR_QueryType;
enum {
    PR_QueryType_NONE = 0,
    PR_QueryType_TRANSFORM = 1,
    PR_QueryType_INTERACTIVE_WINDOW_DISPOSE = 2,
    PR_QueryType_INTERACTIVE_WINDOW_CLEAR = 3,
    PR_QueryType_INTERACTIVE_WINDOW_FROZEN_PROXY = 4,
    PR_QueryType_INTERACTIVE_SWAP_BUFFER = 5,
    PR_QueryType_INTERACTIVE_DRAW_PROCS = 6,
    PR_QueryType_PREPARE_FOR_LINE_DRAWING = 7,
    PR_QueryType_UNPREPARE_FOR_LINE_DRAWING = 8,
    PR_QueryType_GET_CURRENT_CONTEXT_SAFE_FOR_LINE_DRAWING = 9,
    PR_QueryType_GET_ARTISAN_QUALITY = 10,
    PR_QueryType_SET_ARTISAN_QUALITY = 11
};

typedef A_Err (*PR_GlobalSetupFunc)(const PR_InData* in_dataP, PR_GlobalContextH global_contextH,
                                    PR_GlobalDataH* global_dataPH);
typedef A_Err (*PR_GlobalSetdownFunc)(const PR_InData* in_dataP, PR_GlobalContextH global_contextH,
                                      PR_GlobalDataH global_dataH);
typedef A_Err (*PR_GlobalDoAboutFunc)(const PR_InData* in_dataP, PR_GlobalContextH global_contextH,
                                      PR_GlobalDataH global_dataH);
typedef A_Err (*PR_InstanceSetupFunc)(const PR_InData* in_dataP, PR_GlobalContextH global_contextH,
                                      PR_InstanceContextH instance_contextH, PR_GlobalDataH global_dataH,
                                      PR_InstanceFlags flags, PR_FlatHandle flat_dataH0,
                                      PR_InstanceDataH* instance_dataPH);
typedef A_Err (*PR_InstanceSetdownFunc)(const PR_InData* in_dataP, PR_GlobalContextH global_contextH,
                                        PR_InstanceContextH instance_contextH, PR_GlobalDataH global_dataH,
                                        PR_InstanceDataH instance_dataH);
typedef A_Err (*PR_FlattenInstanceFunc)(const PR_InData* in_dataP, PR_GlobalContextH global_contextH,
                                        PR_InstanceContextH instance_contextH, PR_GlobalDataH global_dataH,
                                        PR_InstanceDataH instance_dataH, PR_FlatHandle* flatPH);
typedef A_Err (*PR_DoInstanceDialogFunc)(const PR_InData* in_dataP, PR_GlobalContextH global_contextH,
                                         PR_InstanceContextH instance_contextH, PR_GlobalDataH global_dataH,
                                         PR_InstanceDataH instance_dataH, PR_DialogResult* resultP);
typedef A_Err (*PR_FrameSetupFunc)(const PR_InData* in_dataP, PR_GlobalContextH global_contextH,
                                   PR_InstanceContextH instance_contextH, PR_RenderContextH render_contextH,
                                   PR_GlobalDataH global_dataH, PR_InstanceDataH instance_dataH);
typedef A_Err (*PR_RenderFunc)(const PR_InData* in_dataP, PR_GlobalContextH global_contextH,
                               PR_InstanceContextH instance_contextH, PR_RenderContextH render_contextH,
                               PR_GlobalDataH global_dataH, PR_InstanceDataH instance_dataH);
typedef A_Err (*PR_FrameSetdownFunc)(const PR_InData* in_dataP, PR_GlobalContextH global_contextH,
                                     PR_InstanceContextH instance_contextH, PR_RenderContextH render_contextH,
                                     PR_GlobalDataH global_dataH, PR_InstanceDataH instance_dataH);
typedef A_Err (*PR_QueryFunc)(const PR_InData* in_dataP, PR_GlobalContextH global_contextH,
                              PR_InstanceContextH instance_contextH, PR_QueryContextH query_contextH,
                              PR_QueryType query_type, PR_GlobalDataH global_dataH, PR_InstanceDataH instance_dataH);

/* The Artisan callback table, in the host's slot order. */
typedef struct {
    PR_GlobalSetupFunc global_setup_func0;
    PR_GlobalSetdownFunc global_setdown_func0;
    PR_GlobalDoAboutFunc global_do_about_func0;
    PR_InstanceSetupFunc setup_instance_func0;
    PR_InstanceSetdownFunc setdown_instance_func0;
    PR_FlattenInstanceFunc flatten_instance_func0;
    PR_DoInstanceDialogFunc do_instance_dialog_func0;
    PR_FrameSetupFunc frame_setup_func0;
    PR_RenderFunc render_func;
    PR_FrameSetdownFunc frame_setdown_func0;
    PR_QueryFunc query_func0;
} PR_ArtisanEntryPoints;

#ifdef __cplusplus
}
#endif

#endif
