/* The host's basic suite: every other suite is acquired and released through it by name and version. */
#ifndef ZEPHRIN_SDK_SPBASIC_H
#define ZEPHRIN_SDK_SPBASIC_H

#include <stddef.h>

#include "A.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef A_long SPErr;
typedef A_Boolean SPBoolean;

enum { kSPNoError = 0, kSPSuiteNotFoundError = 0x53214e46 /* 'S!NF' */ };

typedef struct SPBasicSuite {
    SPErr (*AcquireSuite)(const char* name, A_long version, const void** suite);
    SPErr (*ReleaseSuite)(const char* name, A_long version);
    SPBoolean (*IsEqual)(const char* token1, const char* token2);
    SPErr (*AllocateBlock)(size_t size, void** block);
    SPErr (*FreeBlock)(void* block);
    SPErr (*ReallocateBlock)(void* block, size_t newSize, void** newblock);
    SPErr (*Undefined)(void);
} SPBasicSuite;

#ifdef __cplusplus
}
#endif

#endif
