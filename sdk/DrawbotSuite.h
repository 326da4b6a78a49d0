/* The host's DRAWBOT drawing suites: what an effect paints its custom controls with during PF_Event_DRAW.
 * A drawing reference (from PF_GetDrawingReference of the "PF Effect Custom UI Suite") leads to a supplier,
 * which makes pens, brushes, fonts and paths, and to a surface, which draws them. Every object a supplier
 * makes is the caller's until it calls ReleaseObject. Coordinates are the control window's pixels, y down. */
#ifndef ZEPHRIN_SDK_DRAWBOTSUITE_H
#define ZEPHRIN_SDK_DRAWBOTSUITE_H

#include "A.h"
#include "SPBasic.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _DRAWBOT_DrawRef* DRAWBOT_DrawRef;
typedef struct _DRAWBOT_SupplierRef* DRAWBOT_SupplierRef;
typedef struct _DRAWBOT_SurfaceRef* DRAWBOT_SurfaceRef;

/* Pens, brushes, fonts, paths and images are all objects of one kind for RetainObject/ReleaseObject. */
typedef struct _DRAWBOT_ObjectRef* DRAWBOT_ObjectRef;
typedef DRAWBOT_ObjectRef DRAWBOT_PenRef;
typedef DRAWBOT_ObjectRef DRAWBOT_BrushRef;
typedef DRAWBOT_ObjectRef DRAWBOT_FontRef;
typedef DRAWBOT_ObjectRef DRAWBOT_PathRef;
typedef DRAWBOT_ObjectRef DRAWBOT_ImageRef;

typedef A_u_char DRAWBOT_Boolean;
typedef A_UTF16Char DRAWBOT_UTF16Char;

typedef struct {
    float x, y;
} DRAWBOT_PointF32;

typedef struct {
    float left, top, width, height;
} DRAWBOT_RectF32;

typedef struct {
    A_long left, top, width, height;
} DRAWBOT_Rect32;

/* Straight (not premultiplied) colour, each channel 0..1. */
typedef struct {
    float red, green, blue, alpha;
} DRAWBOT_ColorRGBA;

/* Row-vector affine transform: (x, y, 1) * mat. */
typedef struct {
    float mat[3][3];
} DRAWBOT_MatrixF32;

typedef A_long DRAWBOT_FillType;
enum { kDRAWBOT_FillType_EvenOdd = 0, kDRAWBOT_FillType_Winding = 1, kDRAWBOT_FillType_Default = 1 };

typedef A_long DRAWBOT_TextAlignment;
enum {
    kDRAWBOT_TextAlignment_Left = 0,
    kDRAWBOT_TextAlignment_Center = 1,
    kDRAWBOT_TextAlignment_Right = 2,
    kDRAWBOT_TextAlignment_Default = 0
};

typedef A_long DRAWBOT_TextTruncation;
enum {
    kDRAWBOT_TextTruncation_None = 0,
    kDRAWBOT_TextTruncation_EndEllipsis = 1,
    kDRAWBOT_TextTruncation_PathEllipsis = 2
};

typedef A_long DRAWBOT_PixelLayout;
enum {
    kDRAWBOT_PixelLayout_24RGB = 0,
    kDRAWBOT_PixelLayout_24BGR = 1,
    kDRAWBOT_PixelLayout_32RGB = 2,  /* the fourth byte unused */
    kDRAWBOT_PixelLayout_32BGR = 3,
    kDRAWBOT_PixelLayout_32ARGB_Straight = 4,
    kDRAWBOT_PixelLayout_32ARGB_Premul = 5,
    kDRAWBOT_PixelLayout_32BGRA_Straight = 6,
    kDRAWBOT_PixelLayout_32BGRA_Premul = 7
};

typedef A_long DRAWBOT_InterpolationPolicy;
enum {
    kDRAWBOT_InterpolationPolicy_None = 0,
    kDRAWBOT_InterpolationPolicy_Med = 1,
    kDRAWBOT_InterpolationPolicy_High = 2,
    kDRAWBOT_InterpolationPolicy_Default = 1
};

typedef A_long DRAWBOT_AntiAliasPolicy;
enum {
    kDRAWBOT_AntiAliasPolicy_None = 0,
    kDRAWBOT_AntiAliasPolicy_Med = 1,
    kDRAWBOT_AntiAliasPolicy_High = 2,
    kDRAWBOT_AntiAliasPolicy_Default = 1
};

/* ---- Draw suite: from a drawing reference to its supplier and surface ---- */

#define kDRAWBOT_DrawSuite "DRAWBOT Draw Suite"
#define kDRAWBOT_DrawSuite_Version1 1
#define kDRAWBOT_DrawSuite_VersionCurrent kDRAWBOT_DrawSuite_Version1

typedef struct DRAWBOT_DrawbotSuite1 {
    SPErr (*GetSupplier)(DRAWBOT_DrawRef in_drawbot_ref, DRAWBOT_SupplierRef* out_supplierP);
    SPErr (*GetSurface)(DRAWBOT_DrawRef in_drawbot_ref, DRAWBOT_SurfaceRef* out_surfaceP);
} DRAWBOT_DrawbotSuite1;
typedef DRAWBOT_DrawbotSuite1 DRAWBOT_DrawbotSuiteCurrent;

/* ---- Supplier suite: makes the objects a surface draws ---- */

#define kDRAWBOT_SupplierSuite "DRAWBOT Supplier Suite"
#define kDRAWBOT_SupplierSuite_Version1 1
#define kDRAWBOT_SupplierSuite_VersionCurrent kDRAWBOT_SupplierSuite_Version1

typedef struct DRAWBOT_SupplierSuite1 {
    /* in_size is the stroke width in pixels. */
    SPErr (*NewPen)(DRAWBOT_SupplierRef in_supplier_ref, const DRAWBOT_ColorRGBA* in_colorP, float in_size,
                    DRAWBOT_PenRef* out_penP);
    SPErr (*NewBrush)(DRAWBOT_SupplierRef in_supplier_ref, const DRAWBOT_ColorRGBA* in_colorP,
                      DRAWBOT_BrushRef* out_brushP);
    /* A surface that cannot draw text answers false; NewDefaultFont and DrawString then fail. */
    SPErr (*SupportsText)(DRAWBOT_SupplierRef in_supplier_ref, DRAWBOT_Boolean* out_supports_textB);
    SPErr (*GetDefaultFontSize)(DRAWBOT_SupplierRef in_supplier_ref, float* out_font_sizeF);
    SPErr (*NewDefaultFont)(DRAWBOT_SupplierRef in_supplier_ref, float in_font_sizeF, DRAWBOT_FontRef* out_fontP);
    SPErr (*NewImageFromBuffer)(DRAWBOT_SupplierRef in_supplier_ref, int in_width, int in_height, int in_row_bytes,
                                DRAWBOT_PixelLayout in_pl, const void* in_dataP, DRAWBOT_ImageRef* out_imageP);
    SPErr (*NewPath)(DRAWBOT_SupplierRef in_supplier_ref, DRAWBOT_PathRef* out_pathP);
    SPErr (*SupportsPixelLayoutBGRA)(DRAWBOT_SupplierRef in_supplier_ref, DRAWBOT_Boolean* out_supports_bgraPB);
    SPErr (*PrefersPixelLayoutBGRA)(DRAWBOT_SupplierRef in_supplier_ref, DRAWBOT_Boolean* out_prefers_bgraPB);
    SPErr (*SupportsPixelLayoutARGB)(DRAWBOT_SupplierRef in_supplier_ref, DRAWBOT_Boolean* out_supports_argbPB);
    SPErr (*PrefersPixelLayoutARGB)(DRAWBOT_SupplierRef in_supplier_ref, DRAWBOT_Boolean* out_prefers_argbPB);
    SPErr (*RetainObject)(DRAWBOT_ObjectRef in_obj_ref);
    SPErr (*ReleaseObject)(DRAWBOT_ObjectRef in_obj_ref);
} DRAWBOT_SupplierSuite1;
typedef DRAWBOT_SupplierSuite1 DRAWBOT_SupplierSuiteCurrent;

/* ---- Surface suite: draws, clips and keeps a stack of states ---- */

#define kDRAWBOT_SurfaceSuite "DRAWBOT Surface Suite"
#define kDRAWBOT_SurfaceSuite_Version1 1
#define kDRAWBOT_SurfaceSuite_VersionCurrent kDRAWBOT_SurfaceSuite_Version1

typedef struct DRAWBOT_SurfaceSuite1 {
    /* A pushed state holds the clip and the transform; PopStateStack restores the last one pushed. */
    SPErr (*PushStateStack)(DRAWBOT_SurfaceRef in_surface_ref);
    SPErr (*PopStateStack)(DRAWBOT_SurfaceRef in_surface_ref);
    SPErr (*PaintRect)(DRAWBOT_SurfaceRef in_surface_ref, const DRAWBOT_ColorRGBA* in_colorP,
                       const DRAWBOT_RectF32* in_rectPR);
    SPErr (*FillPath)(DRAWBOT_SurfaceRef in_surface_ref, DRAWBOT_BrushRef in_brush_ref, DRAWBOT_PathRef in_path_ref,
                      DRAWBOT_FillType in_fill_type);
    SPErr (*StrokePath)(DRAWBOT_SurfaceRef in_surface_ref, DRAWBOT_PenRef in_pen_ref, DRAWBOT_PathRef in_path_ref);
    /* Narrows the clip to the rectangle (intersected with the current clip). */
    SPErr (*Clip)(DRAWBOT_SurfaceRef in_surface_ref, DRAWBOT_SupplierRef in_supplier_ref,
                  const DRAWBOT_Rect32* in_rectPR);
    SPErr (*GetClipBounds)(DRAWBOT_SurfaceRef in_surface_ref, DRAWBOT_Rect32* out_rectPR);
    SPErr (*IsWithinClipBounds)(DRAWBOT_SurfaceRef in_surface_ref, const DRAWBOT_Rect32* in_rectPR,
                                DRAWBOT_Boolean* out_withinPB);
    SPErr (*Transform)(DRAWBOT_SurfaceRef in_surface_ref, const DRAWBOT_MatrixF32* in_matrixP);
    /* in_originP is the baseline's start (left alignment), centre or end. */
    SPErr (*DrawString)(DRAWBOT_SurfaceRef in_surface_ref, DRAWBOT_BrushRef in_brush_ref, DRAWBOT_FontRef in_font_ref,
                        const DRAWBOT_UTF16Char* in_stringP, const DRAWBOT_PointF32* in_originP,
                        DRAWBOT_TextAlignment in_alignment_style, DRAWBOT_TextTruncation in_truncation_style,
                        float in_truncation_width);
    SPErr (*DrawImage)(DRAWBOT_SurfaceRef in_surface_ref, DRAWBOT_ImageRef in_imageP, const DRAWBOT_PointF32* in_originP,
                       float in_alpha);
    SPErr (*SetInterpolationPolicy)(DRAWBOT_SurfaceRef in_surface_ref, DRAWBOT_InterpolationPolicy in_interp);
    SPErr (*GetInterpolationPolicy)(DRAWBOT_SurfaceRef in_surface_ref, DRAWBOT_InterpolationPolicy* out_interpP);
    SPErr (*SetAntiAliasPolicy)(DRAWBOT_SurfaceRef in_surface_ref, DRAWBOT_AntiAliasPolicy in_policy);
    SPErr (*GetAntiAliasPolicy)(DRAWBOT_SurfaceRef in_surface_ref, DRAWBOT_AntiAliasPolicy* out_policyP);
    SPErr (*Flush)(DRAWBOT_SurfaceRef in_surface_ref);
} DRAWBOT_SurfaceSuite1;
typedef DRAWBOT_SurfaceSuite1 DRAWBOT_SurfaceSuiteCurrent;

/* ---- Path suite: builds the figures a surface fills and strokes ---- */

#define kDRAWBOT_PathSuite "DRAWBOT Path Suite"
#define kDRAWBOT_PathSuite_Version1 1
#define kDRAWBOT_PathSuite_VersionCurrent kDRAWBOT_PathSuite_Version1

typedef struct DRAWBOT_PathSuite1 {
    SPErr (*MoveTo)(DRAWBOT_PathRef in_path_ref, float in_x, float in_y);
    SPErr (*LineTo)(DRAWBOT_PathRef in_path_ref, float in_x, float in_y);
    SPErr (*BezierTo)(DRAWBOT_PathRef in_path_ref, const DRAWBOT_PointF32* in_pt1P, const DRAWBOT_PointF32* in_pt2P,
                      const DRAWBOT_PointF32* in_pt3P);
    SPErr (*AddRect)(DRAWBOT_PathRef in_path_ref, const DRAWBOT_RectF32* in_rectPR);
    /* Angles in degrees, clockwise on screen from the positive x axis. */
    SPErr (*AddArc)(DRAWBOT_PathRef in_path_ref, const DRAWBOT_PointF32* in_centerP, float in_radius,
                    float in_start_angle, float in_sweep);
    SPErr (*Close)(DRAWBOT_PathRef in_path_ref);
} DRAWBOT_PathSuite1;
typedef DRAWBOT_PathSuite1 DRAWBOT_PathSuiteCurrent;

#ifdef __cplusplus
}
#endif

#endif
