/* Effect-side declarations of the host SDK. Pixel records are shared with the AEGP world interface. */
#ifndef ZEPHRIN_SDK_AE_EFFECT_H
#define ZEPHRIN_SDK_AE_EFFECT_H

#include "A.h"

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

#ifdef __cplusplus
}
#endif

#endif
