/* The Win32 calls the effect makes (user-interface language, code page conversion, popup menus, window
 * hooks), declared with their Win32 names and types. On Windows they come from kernel32 and user32; on
 * other systems a platform library provides them. Wide characters are UTF-16 code units everywhere. */
#ifndef ZEPHRIN_SDK_WIN32PLATFORM_H
#define ZEPHRIN_SDK_WIN32PLATFORM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
typedef char16_t WCHAR;
#else
typedef uint16_t WCHAR;
#endif

typedef int BOOL;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef WORD LANGID;
typedef uintptr_t UINT_PTR;
typedef char CHAR;
typedef const CHAR* LPCSTR;
typedef CHAR* LPSTR;
typedef const WCHAR* LPCWSTR;
typedef WCHAR* LPWSTR;
typedef BOOL* LPBOOL;

typedef intptr_t LONG_PTR;
typedef uintptr_t WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

typedef struct HMENU__* HMENU;
typedef struct HWND__* HWND;
typedef struct HHOOK__* HHOOK;
typedef struct HINSTANCE__* HINSTANCE;

typedef LRESULT (*HOOKPROC)(int code, WPARAM wParam, LPARAM lParam);

typedef struct tagPOINT {
    LONG x, y;
} POINT, *LPPOINT;

typedef struct tagRECT {
    LONG left, top, right, bottom;
} RECT;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

/* Languages: the primary language is the low ten bits of a LANGID. */
#define LANG_CHINESE 0x04
#define LANG_ENGLISH 0x09
#define SUBLANG_ENGLISH_US 0x01
#define SUBLANG_CHINESE_SIMPLIFIED 0x02
#define MAKELANGID(p, s) ((LANGID)((((WORD)(s)) << 10) | (WORD)(p)))
#define PRIMARYLANGID(lgid) ((WORD)(lgid)&0x3ff)

/* Code pages and conversion flags. */
#define CP_ACP 0
#define CP_UTF8 65001
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080

/* Menus. */
#define MF_STRING 0x00000000L
#define MF_BYCOMMAND 0x00000000L
#define MF_CHECKED 0x00000008L
#define MF_BYPOSITION 0x00000400L
#define MF_SEPARATOR 0x00000800L
#define TPM_LEFTALIGN 0x0000L
#define TPM_NONOTIFY 0x0080L
#define TPM_RETURNCMD 0x0100L

/* Thread-local hooks. */
#define WH_GETMESSAGE 3
#define WH_MOUSE 7

/* Error codes GetLastError reports. */
#define ERROR_INVALID_HANDLE 6L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_FLAGS 1004L
#define ERROR_NO_UNICODE_TRANSLATION 1113L

DWORD GetLastError(void);

LANGID GetUserDefaultUILanguage(void);
UINT GetACP(void);
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);

HMENU CreatePopupMenu(void);
BOOL AppendMenuW(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem);
BOOL CheckMenuRadioItem(HMENU hmenu, UINT first, UINT last, UINT check, UINT flags);
/* With TPM_RETURNCMD the result is the chosen item's id, 0 when the menu was dismissed. */
BOOL TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int nReserved, HWND hWnd, const RECT* prcRect);
BOOL DestroyMenu(HMENU hMenu);

BOOL GetCursorPos(LPPOINT lpPoint);
HWND WindowFromPoint(POINT Point);
HWND GetForegroundWindow(void);
HWND GetDesktopWindow(void);

DWORD GetCurrentThreadId(void);
HHOOK SetWindowsHookExW(int idHook, HOOKPROC lpfn, HINSTANCE hmod, DWORD dwThreadId);
BOOL UnhookWindowsHookEx(HHOOK hhk);

#ifdef __cplusplus
}
#endif

#endif
