/*
 * The Win32 calls the product uses.  On Windows this is <windows.h>; on every
 * other host our own small implementation (libtwplatform) provides the same
 * calls with the same meaning: per-thread message queues, windows owned by
 * the thread that created them, PostMessageA from any thread, GetMessageA
 * returning 0 on WM_QUIT, messages sent synchronously to the window procedure
 * while a window is created and destroyed, events, threads, and named kernel
 * objects (file mapping, mutex, event) in a process-wide namespace.
 */
#ifndef TWPLATFORM_WIN32_H
#define TWPLATFORM_WIN32_H

#ifdef _WIN32
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#else

#include <stddef.h>
#include <stdint.h>

#define TWPLATFORM_API __attribute__((visibility("default")))
#define WINAPI
#define CALLBACK

#ifdef __cplusplus
extern "C" {
#endif

typedef int BOOL;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint16_t WORD;
typedef uint16_t ATOM;
typedef uint8_t BYTE;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef void *HANDLE;
typedef void *LPVOID;
typedef const char *LPCSTR;
typedef char *LPSTR;
typedef struct twplat_window *HWND;
typedef struct twplat_module *HINSTANCE;
typedef HINSTANCE HMODULE;
typedef void *HICON;
typedef void *HCURSOR;
typedef void *HBRUSH;
typedef void *HMENU;
typedef struct { DWORD nLength; LPVOID lpSecurityDescriptor; BOOL bInheritHandle; } SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;
typedef union { struct { DWORD LowPart; LONG HighPart; } u; int64_t QuadPart; } LARGE_INTEGER;

#define TRUE 1
#define FALSE 0

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID);

typedef struct {
    int x, y;
} POINT;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

typedef struct tagWNDCLASSEXA {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
} WNDCLASSEXA;

/* lParam of WM_NCCREATE and WM_CREATE */
typedef struct tagCREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTA, *LPCREATESTRUCTA;

/* Window messages */
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_USER 0x0400

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define WS_OVERLAPPEDWINDOW 0x00CF0000
#define CW_USEDEFAULT ((int)0x80000000)
#define HWND_MESSAGE ((HWND)(intptr_t)-3)

/* Waits */
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

/* Threads */
#define STILL_ACTIVE 259
#define CREATE_SUSPENDED 0x00000004
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000

/* Error codes (GetLastError) */
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_OUTOFMEMORY 14
#define ERROR_INVALID_PARAMETER 87
#define ERROR_BUFFER_OVERFLOW 111
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_ALREADY_EXISTS 183
#define ERROR_NOT_OWNER 288
#define ERROR_MR_MID_NOT_FOUND 317
#define ERROR_INVALID_ADDRESS 487
#define ERROR_MESSAGE_SYNC_ONLY 1159
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_CANNOT_FIND_WND_CLASS 1407
#define ERROR_CLASS_ALREADY_EXISTS 1410
#define ERROR_CLASS_DOES_NOT_EXIST 1411
#define ERROR_CLASS_HAS_WINDOWS 1412
#define ERROR_INVALID_THREAD_ID 1444
#define ERROR_NOT_ENOUGH_QUOTA 1816

/* Named objects */
#define FILE_MAP_WRITE 0x0002
#define FILE_MAP_READ 0x0004
#define FILE_MAP_ALL_ACCESS 0x000F001F
#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04
#define MUTEX_ALL_ACCESS 0x001F0001
#define EVENT_ALL_ACCESS 0x001F0003
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define MAX_PATH 260
#define MAX_COMPUTERNAME_LENGTH 15

/* FormatMessageA */
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000

/* Windows and message queues */
TWPLATFORM_API ATOM RegisterClassExA(const WNDCLASSEXA *cls);
TWPLATFORM_API BOOL UnregisterClassA(LPCSTR class_name, HINSTANCE instance);
TWPLATFORM_API HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR title,
                                    DWORD style, int x, int y, int width, int height,
                                    HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
TWPLATFORM_API BOOL DestroyWindow(HWND hwnd);
TWPLATFORM_API BOOL IsWindow(HWND hwnd);
TWPLATFORM_API LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
TWPLATFORM_API BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
TWPLATFORM_API BOOL PostThreadMessageA(DWORD thread_id, UINT msg, WPARAM wp, LPARAM lp);
TWPLATFORM_API BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT min, UINT max);
TWPLATFORM_API BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT min, UINT max, UINT remove);
TWPLATFORM_API BOOL TranslateMessage(const MSG *msg);
TWPLATFORM_API LRESULT DispatchMessageA(const MSG *msg);
TWPLATFORM_API void PostQuitMessage(int exit_code);

/* Kernel objects */
TWPLATFORM_API HANDLE CreateEventA(LPSECURITY_ATTRIBUTES sa, BOOL manual_reset,
                                   BOOL initial_state, LPCSTR name);
TWPLATFORM_API HANDLE OpenEventA(DWORD access, BOOL inherit, LPCSTR name);
TWPLATFORM_API BOOL SetEvent(HANDLE event);
TWPLATFORM_API BOOL ResetEvent(HANDLE event);
TWPLATFORM_API HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL initial_owner, LPCSTR name);
TWPLATFORM_API HANDLE OpenMutexA(DWORD access, BOOL inherit, LPCSTR name);
TWPLATFORM_API BOOL ReleaseMutex(HANDLE mutex);
TWPLATFORM_API DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
TWPLATFORM_API BOOL CloseHandle(HANDLE handle);
TWPLATFORM_API HANDLE CreateThread(LPSECURITY_ATTRIBUTES sa, size_t stack_size,
                                   LPTHREAD_START_ROUTINE start, LPVOID param,
                                   DWORD flags, DWORD *thread_id);
TWPLATFORM_API BOOL GetExitCodeThread(HANDLE thread, DWORD *exit_code);
TWPLATFORM_API DWORD GetCurrentThreadId(void);
TWPLATFORM_API DWORD GetCurrentProcessId(void);
TWPLATFORM_API DWORD GetLastError(void);
TWPLATFORM_API void SetLastError(DWORD code);
TWPLATFORM_API void Sleep(DWORD milliseconds);
TWPLATFORM_API DWORD FormatMessageA(DWORD flags, const void *source, DWORD message_id,
                                    DWORD language_id, LPSTR buffer, DWORD size, void *args);

/* Named shared memory */
TWPLATFORM_API HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES sa, DWORD protect,
                                         DWORD size_high, DWORD size_low, LPCSTR name);
TWPLATFORM_API HANDLE OpenFileMappingA(DWORD access, BOOL inherit, LPCSTR name);
TWPLATFORM_API LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offset_high,
                                    DWORD offset_low, size_t bytes);
TWPLATFORM_API BOOL UnmapViewOfFile(const void *view);

/* Identity and time */
TWPLATFORM_API BOOL GetComputerNameA(LPSTR buffer, DWORD *size);
TWPLATFORM_API DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
TWPLATFORM_API BOOL QueryPerformanceCounter(LARGE_INTEGER *counter);
TWPLATFORM_API BOOL QueryPerformanceFrequency(LARGE_INTEGER *frequency);

/* Not Win32: the HINSTANCE (load base) of the loaded object that contains
 * `address_in_module`, for GetModuleFileNameA and RegisterClassExA.  Null with
 * ERROR_MOD_NOT_FOUND when no loaded object contains it. */
TWPLATFORM_API HINSTANCE twplat_module_handle(const void *address_in_module);

#ifdef __cplusplus
}
#endif

#endif /* _WIN32 */
#endif
