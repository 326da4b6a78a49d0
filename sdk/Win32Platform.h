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
typedef int16_t SHORT;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef WORD LANGID;
typedef uintptr_t UINT_PTR;
typedef uintptr_t ULONG_PTR;
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

/* Thread-local hooks. A hook procedure gets HC_ACTION for a message it may act on; anything else it must
 * pass on with CallNextHookEx untouched. A mouse hook returns nonzero to swallow the message. */
#define WH_GETMESSAGE 3
#define WH_MOUSE 7
#define HC_ACTION 0
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

/* Window messages the hooks look at. */
#define WM_NULL 0x0000
#define WM_KEYDOWN 0x0100
#define WM_CHAR 0x0102
#define WM_MOUSEMOVE 0x0200
#define WM_MBUTTONDOWN 0x0207
#define WM_MBUTTONUP 0x0208
#define WM_MOUSEWHEEL 0x020A

/* One wheel notch; the delta is the signed high word of mouseData (positive: away from the user). */
#define WHEEL_DELTA 120
#define LOWORD(l) ((WORD)(((ULONG_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((ULONG_PTR)(l)) >> 16) & 0xffff))
#define GET_WHEEL_DELTA_WPARAM(wParam) ((SHORT)HIWORD(wParam))

/* Virtual keys. GetKeyState and GetAsyncKeyState set the high bit (the value is negative) while down. */
#define VK_LBUTTON 0x01
#define VK_RBUTTON 0x02
#define VK_MBUTTON 0x04
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_ESCAPE 0x1B
#define VK_DELETE 0x2E
#define VK_SUBTRACT 0x6D
#define VK_DECIMAL 0x6E
#define VK_LCONTROL 0xA2
#define VK_RCONTROL 0xA3
#define VK_OEM_MINUS 0xBD
#define VK_OEM_PERIOD 0xBE

/* What a WH_MOUSE hook gets in lParam; for WM_MOUSEWHEEL the extended record, whose mouseData carries
 * the wheel delta in its high word. pt is in screen coordinates. */
typedef struct tagMOUSEHOOKSTRUCT {
    POINT pt;
    HWND hwnd;
    UINT wHitTestCode;
    ULONG_PTR dwExtraInfo;
} MOUSEHOOKSTRUCT, *LPMOUSEHOOKSTRUCT;

#ifdef __cplusplus
typedef struct tagMOUSEHOOKSTRUCTEX : tagMOUSEHOOKSTRUCT {
    DWORD mouseData;
} MOUSEHOOKSTRUCTEX, *LPMOUSEHOOKSTRUCTEX;
#else
typedef struct tagMOUSEHOOKSTRUCTEX {
    MOUSEHOOKSTRUCT base;
    DWORD mouseData;
} MOUSEHOOKSTRUCTEX, *LPMOUSEHOOKSTRUCTEX;
#endif

/* What a WH_GETMESSAGE hook gets in lParam: the message about to be handed to the window. A hook that
 * consumes it rewrites message, wParam and lParam (WM_NULL, 0, 0). */
typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

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
LRESULT CallNextHookEx(HHOOK hhk, int nCode, WPARAM wParam, LPARAM lParam);

HWND GetParent(HWND hWnd);
/* The window's rectangle in screen coordinates. */
BOOL GetWindowRect(HWND hWnd, RECT* lpRect);
BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint);
/* A null rectangle invalidates the whole client area. */
BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase);
/* Returns the window that had the capture before, or null. */
HWND SetCapture(HWND hWnd);
BOOL ReleaseCapture(void);
HWND SetFocus(HWND hWnd);

/* State of a key or mouse button as of the message being handled (GetKeyState) or right now
 * (GetAsyncKeyState). */
SHORT GetKeyState(int nVirtKey);
SHORT GetAsyncKeyState(int vKey);

#ifdef __cplusplus
}
#endif

#endif
