/* PF suites of the host SDK that the effect acquires through the basic suite: only the operations it calls. */
#ifndef ZEPHRIN_SDK_AE_EFFECTSUITES_H
#define ZEPHRIN_SDK_AE_EFFECTSUITES_H

#include <stddef.h>

#include "A.h"
#include "AE_Effect.h"
#include "DrawbotSuite.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef size_t A_HandleSize;

/* Relocatable memory the host owns: the effect's global data lives in one. */
#define kPFHandleSuite "PF Handle Suite"
#define kPFHandleSuiteVersion2 2
typedef struct PF_HandleSuite2 {
    PF_Handle (*host_new_handle)(A_HandleSize size);
    void* (*host_lock_handle)(PF_Handle pf_handle); /* null when the handle cannot be locked */
    void (*host_unlock_handle)(PF_Handle pf_handle);
    void (*host_dispose_handle)(PF_Handle pf_handle);
    A_HandleSize (*host_get_handle_size)(PF_Handle pf_handle);
} PF_HandleSuite2;

/* The application's user-interface language as a tag such as "en_US" or "zh_CN". */
enum { PF_APP_LANG_TAG_SIZE = 6 };

#define kPFAppSuite "PF AE App Suite"
#define kPFAppSuiteVersion1 1
typedef struct PFAppSuite1 {
    PF_Err (*PF_AppGetLanguage)(A_char lang_tagZ[PF_APP_LANG_TAG_SIZE]);
} PFAppSuite1;

/* Redrawing a custom control: the rectangle is in the coordinates of the context's window (the same as
 * PF_EffectWindow.current_frame); a null rectangle asks for the whole window. The host redraws at its next
 * idle moment, or at once for an event answered with PF_EO_UPDATE_NOW. */
#define kPFAppSuiteVersion6 6
typedef struct PFAppSuite6 {
    PF_Err (*PF_AppGetLanguage)(A_char lang_tagZ[PF_APP_LANG_TAG_SIZE]);
    PF_Err (*PF_InvalidateRect)(const PF_ContextH contextH, const PF_Rect* rectP0);
} PFAppSuite6;

#define kPFAdvItemSuite "PF AE Adv Item Suite"
#define kPFAdvItemSuiteVersion1 1
typedef struct PF_AdvItemSuite1 {
    /* Tells the host the active item changed so that it redraws it at its current settings. */
    PF_Err (*PF_TouchActiveItem)(PF_ProgPtr effect_ref);
} PF_AdvItemSuite1;

#define kPFANSISuite "PF ANSI Suite"
#define kPFANSISuiteVersion1 1
typedef struct PF_ANSICallbacksSuite1 {
    A_long (*sprintf)(A_char* buffer, const A_char* format, ...);
} PF_ANSICallbacksSuite1;

#define kPFParamUtilsSuite "PF Param Utils Suite"
#define kPFParamUtilsSuiteVersion3 3
typedef struct PF_ParamUtilsSuite3 {
    /* Only the UI of the definition is taken: flags, label, choice or button text and control size. */
    PF_Err (*PF_UpdateParamUI)(PF_ProgPtr effect_ref, PF_ParamIndex param_index, const PF_ParamDef* defP);
} PF_ParamUtilsSuite3;

/* The drawing reference of a custom-UI event's context, valid during PF_Event_DRAW only; outside a draw the
 * host answers an error and a null reference. */
#define kPFEffectCustomUISuite "PF Effect Custom UI Suite"
#define kPFEffectCustomUISuiteVersion1 1
typedef struct PF_EffectCustomUISuite1 {
    PF_Err (*PF_GetDrawingReference)(const PF_ContextH effect_contextH, DRAWBOT_DrawRef* referenceP0);
} PF_EffectCustomUISuite1;

#ifdef __cplusplus
}
#endif

#endif
