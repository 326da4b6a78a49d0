/* Effect-side declarations of the host SDK: the effect command interface (commands, in/out data,
 * parameter definitions, custom-UI events) and the pixel records shared with the AEGP world interface. */
#ifndef ZEPHRIN_SDK_AE_EFFECT_H
#define ZEPHRIN_SDK_AE_EFFECT_H

#include "A.h"
#include "SPBasic.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef A_FpShort PF_FpShort;
typedef A_FpLong PF_FpLong;

/* Channel order is alpha, red, green, blue. 16-bit channels run 0..32768. */
typedef struct {
    A_u_char alpha, red, green, blue;
} PF_Pixel8;

typedef struct {
    A_u_short alpha, red, green, blue;
} PF_Pixel16;

typedef struct {
    PF_FpShort alpha, red, green, blue;
} PF_PixelFloat;

enum { PF_MAX_CHAN8 = 255, PF_MAX_CHAN16 = 32768 };

/* ---- Scalars, handles and error codes ---- */

typedef A_Err PF_Err;
typedef A_long PF_Fixed; /* 16.16 fixed point */
typedef A_long PF_ParamValue;
typedef A_long PF_ParamIndex;
typedef A_char PF_Boolean;
typedef void** PF_Handle;
typedef PF_Pixel8 PF_Pixel;
typedef struct _PF_ProgressData* PF_ProgPtr;
typedef struct _PF_Context* PF_ContextH;

/* Four-character codes as the host writes them ('PrMr', 'eFKT'), built without multi-character literals. */
#define PF_FOURCC(a, b, c, d) \
    ((A_long)(((A_u_long)(a) << 24) | ((A_u_long)(b) << 16) | ((A_u_long)(c) << 8) | (A_u_long)(d)))

/* PF_InData.appl_id of the editing host that gives effects no AEGP plug-in id. */
#define PF_APPL_ID_PREMIERE PF_FOURCC('P', 'r', 'M', 'r')
/* The plug-in kind an effect announces at registration. */
#define PF_PLUGIN_KIND_EFFECT PF_FOURCC('e', 'F', 'K', 'T')

enum {
    PF_Err_NONE = 0,
    PF_Err_OUT_OF_MEMORY = 4,
    PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
    PF_Err_INVALID_INDEX = 513,
    PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
    PF_Err_INVALID_CALLBACK = 515
    /* PF_Err_BAD_CALLBACK_PARAM (516) is declared in A.h: both plug-ins raise it. */
};

enum {
    PF_MAX_EFFECT_NAME_LEN = 31,
    PF_MAX_EFFECT_PARAM_NAME_LEN = 31,
    PF_MAX_EFFECT_MSG_LEN = 255
};

/* ---- Version word ---- */

enum { PF_Stage_DEVELOP = 0, PF_Stage_ALPHA = 1, PF_Stage_BETA = 2, PF_Stage_RELEASE = 3 };

#define PF_Vers_BITS 0x7UL
#define PF_Vers_SHIFT 19
#define PF_Subvers_BITS 0xFUL
#define PF_Subvers_SHIFT 15
#define PF_Bugvers_BITS 0xFUL
#define PF_Bugvers_SHIFT 11
#define PF_Stage_BITS 0x3UL
#define PF_Stage_SHIFT 9
#define PF_Build_BITS 0x1ffUL
#define PF_Build_SHIFT 0

#define PF_VERSION(vers, subvers, bugvers, stage, build)                                                  \
    ((A_u_long)((((A_u_long)(vers) & PF_Vers_BITS) << PF_Vers_SHIFT) |                                   \
                (((A_u_long)(subvers) & PF_Subvers_BITS) << PF_Subvers_SHIFT) |                          \
                (((A_u_long)(bugvers) & PF_Bugvers_BITS) << PF_Bugvers_SHIFT) |                          \
                (((A_u_long)(stage) & PF_Stage_BITS) << PF_Stage_SHIFT) |                                \
                (((A_u_long)(build) & PF_Build_BITS) << PF_Build_SHIFT)))

/* ---- Commands ---- */

typedef A_long PF_Cmd;
enum {
    PF_Cmd_ABOUT = 0,
    PF_Cmd_GLOBAL_SETUP = 1,
    PF_Cmd_UNUSED_0 = 2,
    PF_Cmd_GLOBAL_SETDOWN = 3,
    PF_Cmd_PARAMS_SETUP = 4,
    PF_Cmd_SEQUENCE_SETUP = 5,
    PF_Cmd_SEQUENCE_RESETUP = 6,
    PF_Cmd_SEQUENCE_FLATTEN = 7,
    PF_Cmd_SEQUENCE_SETDOWN = 8,
    PF_Cmd_DO_DIALOG = 9,
    PF_Cmd_FRAME_SETUP = 10,
    PF_Cmd_RENDER = 11,
    PF_Cmd_FRAME_SETDOWN = 12,
    PF_Cmd_USER_CHANGED_PARAM = 13,
    PF_Cmd_UPDATE_PARAMS_UI = 14,
    PF_Cmd_EVENT = 15,
    PF_Cmd_GET_EXTERNAL_DEPENDENCIES = 16,
    PF_Cmd_COMPLETELY_GENERAL = 17,
    PF_Cmd_QUERY_DYNAMIC_FLAGS = 18,
    PF_Cmd_AUDIO_RENDER = 19,
    PF_Cmd_AUDIO_SETUP = 20,
    PF_Cmd_AUDIO_SETDOWN = 21,
    PF_Cmd_ARBITRARY_CALLBACK = 22,
    PF_Cmd_SMART_PRE_RENDER = 23,
    PF_Cmd_SMART_RENDER = 24
};

/* ---- Out flags ---- */

typedef A_long PF_OutFlags;
enum {
    PF_OutFlag_NONE = 0,
    PF_OutFlag_KEEP_RESOURCE_OPEN = 1L << 0,
    PF_OutFlag_WIDE_TIME_INPUT = 1L << 1,
    PF_OutFlag_NON_PARAM_VARY = 1L << 2,
    PF_OutFlag_SEQUENCE_DATA_NEEDS_FLATTENING = 1L << 4,
    PF_OutFlag_I_DO_DIALOG = 1L << 5,
    PF_OutFlag_USE_OUTPUT_EXTENT = 1L << 6,
    PF_OutFlag_SEND_DO_DIALOG = 1L << 7,
    PF_OutFlag_DISPLAY_ERROR_MESSAGE = 1L << 8,
    PF_OutFlag_I_EXPAND_BUFFER = 1L << 9,
    PF_OutFlag_PIX_INDEPENDENT = 1L << 10,
    PF_OutFlag_I_WRITE_INPUT_BUFFER = 1L << 11,
    PF_OutFlag_I_SHRINK_BUFFER = 1L << 12,
    PF_OutFlag_WORKS_IN_PLACE = 1L << 13,
    PF_OutFlag_CUSTOM_UI = 1L << 15,
    PF_OutFlag_REFRESH_UI = 1L << 17,
    PF_OutFlag_NOP_RENDER = 1L << 18,
    PF_OutFlag_I_USE_SHUTTER_ANGLE = 1L << 19,
    PF_OutFlag_I_USE_AUDIO = 1L << 20,
    PF_OutFlag_I_AM_OBSOLETE = 1L << 21,
    PF_OutFlag_FORCE_RERENDER = 1L << 22,
    PF_OutFlag_PiPL_OVERRIDES_OUTDATA_OUTFLAGS = 1L << 23,
    PF_OutFlag_I_HAVE_EXTERNAL_DEPENDENCIES = 1L << 24,
    PF_OutFlag_DEEP_COLOR_AWARE = 1L << 25,
    PF_OutFlag_SEND_UPDATE_PARAMS_UI = 1L << 26
};

typedef A_long PF_OutFlags2;
enum {
    PF_OutFlag2_NONE = 0,
    PF_OutFlag2_SUPPORTS_QUERY_DYNAMIC_FLAGS = 1L << 0,
    PF_OutFlag2_I_USE_3D_CAMERA = 1L << 1,
    PF_OutFlag2_I_USE_3D_LIGHTS = 1L << 2,
    PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG = 1L << 3,
    PF_OutFlag2_I_AM_THREADSAFE = 1L << 4,
    PF_OutFlag2_CAN_COMBINE_WITH_DESTINATION = 1L << 5,
    PF_OutFlag2_DOESNT_NEED_EMPTY_PIXELS = 1L << 6,
    PF_OutFlag2_REVEALS_ZERO_ALPHA = 1L << 7,
    PF_OutFlag2_PRESERVES_FULLY_OPAQUE_PIXELS = 1L << 8,
    PF_OutFlag2_SUPPORTS_SMART_RENDER = 1L << 10,
    PF_OutFlag2_FLOAT_COLOR_AWARE = 1L << 12,
    PF_OutFlag2_AUTOMATIC_WIDE_TIME_INPUT = 1L << 17
};

/* ---- Parameters ---- */

typedef A_long PF_ParamType;
enum {
    PF_Param_RESERVED = -1,
    PF_Param_LAYER = 0,
    PF_Param_SLIDER = 1,
    PF_Param_FIX_SLIDER = 2,
    PF_Param_ANGLE = 3,
    PF_Param_CHECKBOX = 4,
    PF_Param_COLOR = 5,
    PF_Param_POINT = 6,
    PF_Param_POPUP = 7,
    PF_Param_CUSTOM = 8,
    PF_Param_NO_DATA = 9,
    PF_Param_FLOAT_SLIDER = 10,
    PF_Param_ARBITRARY_DATA = 11,
    PF_Param_PATH = 12,
    PF_Param_GROUP_START = 13,
    PF_Param_GROUP_END = 14,
    PF_Param_BUTTON = 15,
    PF_Param_POINT_3D = 18
};

typedef A_long PF_ParamFlags;
enum {
    PF_ParamFlag_NONE = 0,
    PF_ParamFlag_CANNOT_TIME_VARY = 1L << 1,
    PF_ParamFlag_CANNOT_INTERP = 1L << 2,
    PF_ParamFlag_COLLAPSE_TWIRLY = 1L << 5,
    PF_ParamFlag_SUPERVISE = 1L << 6,
    PF_ParamFlag_START_COLLAPSED = PF_ParamFlag_COLLAPSE_TWIRLY,
    PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS = 1L << 7,
    PF_ParamFlag_EXCLUDE_FROM_HAVE_INPUTS_CHANGED = 1L << 8,
    PF_ParamFlag_SKIP_REVEAL_WHEN_UNHIDDEN = 1L << 9
};

typedef A_long PF_ParamUIFlags;
enum {
    PF_PUI_NONE = 0,
    PF_PUI_TOPIC = 1L << 0,
    PF_PUI_CONTROL = 1L << 1,
    PF_PUI_STD_CONTROL_ONLY = 1L << 2,
    PF_PUI_NO_ECW_UI = 1L << 3,
    PF_PUI_ECW_SEPARATOR = 1L << 4,
    PF_PUI_DISABLED = 1L << 5,
    PF_PUI_DONT_ERASE_TOPIC = 1L << 6,
    PF_PUI_DONT_ERASE_CONTROL = 1L << 7,
    PF_PUI_RADIO_BUTTON = 1L << 8,
    PF_PUI_INVISIBLE = 1L << 9
};

typedef A_long PF_ChangeFlags;
enum {
    PF_ChangeFlag_NONE = 0,
    PF_ChangeFlag_CHANGED_VALUE = 1L << 0,
    PF_ChangeFlag_SET_TO_VARY = 1L << 2,
    PF_ChangeFlag_SET_TO_CONSTANT = 1L << 3
};

enum { PF_LayerDefault_MYSELF = -1, PF_LayerDefault_NONE = 0 };

typedef struct {
    A_long left, top, right, bottom;
} PF_LRect;
typedef PF_LRect PF_Rect;
typedef PF_Rect PF_UnionableRect;

typedef struct {
    A_long h, v;
} PF_Point;

typedef struct {
    A_long num;
    A_u_long den;
} PF_RationalScale;

typedef A_long PF_WorldFlags;
enum { PF_WorldFlag_DEEP = 1L << 0, PF_WorldFlag_WRITEABLE = 1L << 1 };

/* A layer parameter's value is the layer's pixels at the checked-out time; also the effect's worlds. */
typedef struct PF_LayerDef {
    PF_WorldFlags world_flags;
    void* data; /* PF_Pixel8 or, with PF_WorldFlag_DEEP, PF_Pixel16 rows */
    A_long rowbytes;
    A_long width;
    A_long height;
    PF_UnionableRect extent_hint;
    PF_RationalScale pix_aspect_ratio;
    A_long origin_x;
    A_long origin_y;
    A_long dephault; /* PF_LayerDefault_MYSELF or PF_LayerDefault_NONE */
} PF_LayerDef;
typedef PF_LayerDef PF_EffectWorld;

typedef struct {
    PF_FpLong value;
    PF_FpLong phase;
    PF_FpShort valid_min, valid_max;
    PF_FpShort slider_min, slider_max;
    PF_FpShort dephault;
    A_short precision;
    A_short display_flags;
    A_long fs_flags;
    PF_FpShort curve_tolerance;
} PF_FloatSliderDef;

typedef struct {
    PF_Fixed value;
    PF_Fixed dephault;
    PF_Fixed valid_min, valid_max;
} PF_AngleDef;

typedef struct {
    PF_ParamValue value;
    PF_Boolean dephault;
    union {
        const A_char* nameptr;
    } u;
} PF_CheckBoxDef;

typedef struct {
    PF_Pixel value;
    PF_Pixel dephault;
} PF_ColorDef;

typedef struct {
    PF_ParamValue value;
    A_short num_choices;
    A_short dephault;
    union {
        const A_char* namesptr; /* choices separated by "|" */
    } u;
} PF_PopupDef;

typedef struct {
    PF_FpLong x_value, y_value, z_value;
    PF_FpLong x_dephault, y_dephault, z_dephault;
} PF_Point3DDef;

typedef struct {
    PF_ParamValue value;
    union {
        const A_char* namesptr; /* the button's text */
    } u;
} PF_ButtonDef;

typedef union {
    PF_LayerDef ld;
    PF_FloatSliderDef fs_d;
    PF_AngleDef ad;
    PF_CheckBoxDef bd;
    PF_ColorDef cd;
    PF_PopupDef pd;
    PF_Point3DDef point3d_d;
    PF_ButtonDef button_d;
} PF_ParamDefUnion;

typedef struct PF_ParamDef {
    union {
        A_long id;                   /* disk id, at registration */
        PF_ChangeFlags change_flags; /* set by the effect when it changes the value */
    } uu;
    PF_ParamUIFlags ui_flags;
    A_short ui_width;
    A_short ui_height;
    PF_ParamType param_type;
    A_char name[PF_MAX_EFFECT_PARAM_NAME_LEN + 1];
    PF_ParamFlags flags;
    A_long unused;
    PF_ParamDefUnion u;
} PF_ParamDef, *PF_ParamDefPtr;

typedef PF_ParamDef** PF_ParamList;

/* ---- Custom UI ---- */

typedef A_long PF_CustomEventFlags;
enum {
    PF_CustomEFlag_NONE = 0,
    PF_CustomEFlag_COMP = 1L << 0,
    PF_CustomEFlag_LAYER = 1L << 1,
    PF_CustomEFlag_EFFECT = 1L << 2,
    PF_CustomEFlag_PREVIEW = 1L << 3
};

typedef A_long PF_UIAlignment;

typedef struct {
    A_long reserved;
    PF_CustomEventFlags events;
    A_long comp_ui_width;
    A_long comp_ui_height;
    PF_UIAlignment comp_ui_alignment;
    A_long layer_ui_width;
    A_long layer_ui_height;
    PF_UIAlignment layer_ui_alignment;
    A_long preview_ui_width;
    A_long preview_ui_height;
    PF_UIAlignment preview_ui_alignment;
} PF_CustomUIInfo;

typedef A_long PF_EventType;
enum {
    PF_Event_NEW_CONTEXT = 0,
    PF_Event_ACTIVATE = 1,
    PF_Event_DO_CLICK = 2,
    PF_Event_DRAG = 3,
    PF_Event_DRAW = 4,
    PF_Event_DEACTIVATE = 5,
    PF_Event_CLOSE_CONTEXT = 6,
    PF_Event_IDLE = 7,
    PF_Event_ADJUST_CURSOR = 8,
    PF_Event_KEYDOWN = 9,
    PF_Event_MOUSE_EXITED = 10
};

typedef A_long PF_Modifiers;
enum {
    PF_Mod_NONE = 0,
    PF_Mod_CMD_CTRL_KEY = 0x0100,
    PF_Mod_SHIFT_KEY = 0x0200,
    PF_Mod_CAPS_LOCK_KEY = 0x0400,
    PF_Mod_OPT_ALT_KEY = 0x0800,
    PF_Mod_MAC_CONTROL_KEY = 0x1000
};

typedef A_long PF_EventInFlags;
enum { PF_EI_NONE = 0, PF_EI_DONT_DRAW = 1L << 0 };

typedef A_long PF_EventOutFlags;
enum {
    PF_EO_NONE = 0,
    PF_EO_HANDLED_EVENT = 1L << 0,
    PF_EO_ALWAYS_UPDATE = 1L << 1,
    PF_EO_NEVER_UPDATE = 1L << 2,
    PF_EO_UPDATE_NOW = 1L << 3
};

/* A click, and the drags that follow it (PF_Event_DRAG uses the same record). Points of the events of the
 * Effect Controls window are in that window's coordinates, the same as PF_EffectWindow.current_frame. */
typedef struct {
    A_u_long when;
    PF_Point screen_point;
    A_long num_clicks;
    PF_Modifiers modifiers;
    A_intptr_t continue_refcon[4];
    PF_Boolean send_drag;
    PF_Boolean last_time;
} PF_DoClickEventInfo;

/* The host asks for the control to be painted; drawing happens only during this event. */
typedef struct {
    PF_Rect update_rect; /* in the context window's coordinates */
    A_long depth;
} PF_DrawEventInfo;

/* Keys that type no character. */
typedef A_long PF_ControlCode;
enum {
    PF_ControlCode_Unknown = 0, /* the key typed a character: see char_code */
    PF_ControlCode_Space = 1,
    PF_ControlCode_Backspace = 2,
    PF_ControlCode_Tab = 3,
    PF_ControlCode_Return = 4,
    PF_ControlCode_Enter = 5, /* the numeric keypad's */
    PF_ControlCode_Escape = 6,
    PF_ControlCode_Delete = 7,
    PF_ControlCode_Home = 8,
    PF_ControlCode_End = 9,
    PF_ControlCode_PageUp = 10,
    PF_ControlCode_PageDown = 11,
    PF_ControlCode_UpArrow = 12,
    PF_ControlCode_DownArrow = 13,
    PF_ControlCode_LeftArrow = 14,
    PF_ControlCode_RightArrow = 15
};

/* A key pressed while the control has the focus: key_code names a key that types nothing, otherwise it is
 * PF_ControlCode_Unknown and char_code holds the typed character (a UTF-16 code unit). */
typedef struct {
    A_u_long when;
    PF_Point screen_point;
    PF_ControlCode key_code;
    A_long char_code;
    PF_Modifiers modifiers;
} PF_KeyDownEvent;

/* Cursor shapes an effect may ask for over its control. */
typedef A_long PF_CursorType;
enum {
    PF_Cursor_NONE = 0, /* the host's own cursor stays */
    PF_Cursor_CUSTOM = 1,
    PF_Cursor_ARROW = 2,
    PF_Cursor_HOLLOW_ARROW = 3,
    PF_Cursor_WATCH_N_WAIT = 4,
    PF_Cursor_MAGNIFY = 5,
    PF_Cursor_MAGNIFY_PLUS = 6,
    PF_Cursor_MAGNIFY_MINUS = 7,
    PF_Cursor_CROSSHAIRS = 8,
    PF_Cursor_CROSS_RECT = 9,
    PF_Cursor_CROSS_OVAL = 10,
    PF_Cursor_CROSS_ROTATE = 11,
    PF_Cursor_PAN = 12,
    PF_Cursor_EYEDROPPER = 13,
    PF_Cursor_HAND = 14,
    PF_Cursor_PEN = 15,
    PF_Cursor_PEN_ADD = 16,
    PF_Cursor_PEN_DELETE = 17,
    PF_Cursor_PEN_CLOSE = 18,
    PF_Cursor_PEN_DRAG = 19,
    PF_Cursor_PEN_CORNER = 20,
    PF_Cursor_RESIZE_VERTICAL = 21,
    PF_Cursor_RESIZE_HORIZONTAL = 22,
    PF_Cursor_FINGER_POINTER = 23,
    PF_Cursor_SCALE_HORIZ = 24,
    PF_Cursor_SCALE_DIAG_LR = 25,
    PF_Cursor_SCALE_VERT = 26,
    PF_Cursor_SCALE_DIAG_UR = 27
};

/* The pointer moved over the control; set_cursor comes in as PF_Cursor_NONE. */
typedef struct {
    PF_Point screen_point;
    PF_Modifiers modifiers;
    PF_CursorType set_cursor;
} PF_AdjustCursorEventInfo;

typedef union {
    PF_DoClickEventInfo do_click;
    PF_DrawEventInfo draw;
    PF_KeyDownEvent key_down;
    PF_AdjustCursorEventInfo adjust_cursor;
} PF_EventUnion;

typedef struct {
    PF_ParamIndex index;
    PF_Rect current_frame;
    PF_Rect param_title_frame;
    A_long horiz_offset;
} PF_EffectWindow;

typedef struct {
    PF_ContextH contextH;
    PF_EventType e_type;
    PF_EventUnion u;
    PF_EffectWindow effect_win;
    PF_EventInFlags evt_in_flags;
    PF_EventOutFlags evt_out_flags;
} PF_EventExtra;

typedef struct {
    PF_ParamIndex param_index;
} PF_UserChangedParamExtra;

/* ---- Host callbacks handed to every command ---- */

typedef struct {
    PF_Err (*checkout_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time, A_long time_step,
                             A_u_long time_scale, PF_ParamDef* param);
    PF_Err (*checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
    PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def);
    PF_Err (*abort)(PF_ProgPtr effect_ref);
    PF_Err (*progress)(PF_ProgPtr effect_ref, A_long current, A_long total);
    PF_Err (*register_ui)(PF_ProgPtr effect_ref, PF_CustomUIInfo* cust_info);
} PF_InteractCallbacks;

typedef struct _PF_UtilCallbacks {
    /* Null rectangles mean the whole world. */
    PF_Err (*copy)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r, PF_Rect* dst_r);
} PF_UtilCallbacks;

typedef A_long PF_InFlags;

typedef struct PF_InData {
    PF_InteractCallbacks inter;
    PF_UtilCallbacks* utils;
    PF_ProgPtr effect_ref;
    A_long quality;
    A_Version version;
    A_long serial_num;
    A_long appl_id;
    A_long num_params;
    A_long reserved;
    A_long what_cpu;
    A_long what_fpu;
    A_long current_time;
    A_long time_step;
    A_long total_time;
    A_long local_time_step;
    A_u_long time_scale;
    A_long field;
    PF_Fixed shutter_angle;
    A_long width;
    A_long height;
    PF_Rect extent_hint;
    A_long output_origin_x;
    A_long output_origin_y;
    PF_RationalScale downsample_x;
    PF_RationalScale downsample_y;
    PF_RationalScale pixel_aspect_ratio;
    PF_InFlags in_flags;
    PF_Handle global_data;
    PF_Handle sequence_data;
    PF_Handle frame_data;
    const SPBasicSuite* pica_basicP;
    A_long pre_effect_source_origin_x;
    A_long pre_effect_source_origin_y;
    PF_Fixed shutter_phase;
} PF_InData;

typedef struct PF_OutData {
    A_u_long my_version;
    A_char name[PF_MAX_EFFECT_NAME_LEN + 1];
    PF_Handle global_data;
    A_long num_params;
    PF_Handle sequence_data;
    A_long flat_sdata_size;
    PF_Handle frame_data;
    A_long width;
    A_long height;
    PF_Point origin;
    PF_OutFlags out_flags;
    A_char return_msg[PF_MAX_EFFECT_MSG_LEN + 1];
    PF_OutFlags2 out_flags2;
} PF_OutData;

/* The effect's main entry, as the host calls it for every command. */
typedef PF_Err (*PF_EffectMainFunc)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                    PF_LayerDef* output, void* extra);

/* ---- Registration (the plug-in data entry exports) ---- */

typedef void* PF_PluginDataPtr;

typedef PF_Err (*PF_PluginDataCB)(PF_PluginDataPtr inPtr, const A_u_char* inNameZ, const A_u_char* inMatchNameZ,
                                  const A_u_char* inCategoryZ, const A_u_char* inEntryPointNameZ, A_long inType,
                                  A_long inAEMajorVersion, A_long inAEMinorVersion, A_long inReserved);

typedef PF_Err (*PF_PluginDataCB2)(PF_PluginDataPtr inPtr, const A_u_char* inNameZ, const A_u_char* inMatchNameZ,
                                   const A_u_char* inCategoryZ, const A_u_char* inEntryPointNameZ, A_long inType,
                                   A_long inAEMajorVersion, A_long inAEMinorVersion, A_long inReserved,
                                   const A_u_char* inSupportURLZ);

typedef PF_Err (*PF_PluginDataEntryFunc)(PF_PluginDataPtr inPtr, PF_PluginDataCB inPluginDataCallBackPtr,
                                         SPBasicSuite* inSPBasicSuitePtr, const char* inHostName,
                                         const char* inHostVersion);

typedef PF_Err (*PF_PluginDataEntryFunc2)(PF_PluginDataPtr inPtr, PF_PluginDataCB2 inPluginDataCallBackPtr,
                                          SPBasicSuite* inSPBasicSuitePtr, const char* inHostName,
                                          const char* inHostVersion);

#define PF_ADD_PARAM(in_data, index, def) ((*(in_data)->inter.add_param)((in_data)->effect_ref, (index), (def)))
#define PF_COPY(src, dst, src_rect, dst_rect) \
    ((*in_data->utils->copy)(in_data->effect_ref, (src), (dst), (src_rect), (dst_rect)))

#ifdef __cplusplus
}
#endif

#endif
