/* Basic scalar and record types of the host SDK, declared as the host names them. */
#ifndef ZEPHRIN_SDK_A_H
#define ZEPHRIN_SDK_A_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef unsigned char A_u_char;
typedef uint8_t A_Boolean;
typedef double A_FpLong;
typedef float A_FpShort;
typedef int32_t A_Err;
typedef uint16_t A_UTF16Char;
typedef int64_t A_intptr_t;

typedef struct {
    A_long value;
    A_u_long scale;
} A_Time;

typedef struct {
    A_FpLong x, y;
} A_FloatPoint;

typedef struct {
    A_FpLong x, y, z;
} A_FloatPoint3;

typedef struct {
    A_FpLong left, top, right, bottom;
} A_FloatRect;

typedef struct {
    A_long left, top, right, bottom;
} A_LegacyRect;

/* Row-vector convention: a point p maps to p * mat, translation in mat[3]. */
typedef struct {
    A_FpLong mat[4][4];
} A_Matrix4;

typedef struct {
    A_FpLong mat[3][3];
} A_Matrix3;

typedef struct {
    A_short majorS;
    A_short minorS;
} A_Version;

enum {
    A_Err_NONE = 0,
    A_Err_GENERIC = 1,
    A_Err_STRUCT = 2,
    A_Err_PARAMETER = 3,
    A_Err_ALLOC = 4,
    A_Err_WRONG_THREAD = 5,
    A_Err_CONST_PROJECT_MODIFICATION = 6,
    A_Err_MISSING_SUITE = 13
};

/* The effect-side error the plug-ins raise when a suite cannot be acquired. */
enum { PF_Err_BAD_CALLBACK_PARAM = 516 };

#ifdef __cplusplus
}
#endif

#endif
