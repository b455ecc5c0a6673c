/*
 * A Windows pyconfig.h for the compile-and-link check of the Python modules
 * in scripts/test-windows.sh, which runs on Linux, where no Windows CPython
 * is installed.  The check puts it in place of the host's pyconfig.h beside
 * a copy of the host interpreter's headers (the rest of CPython's headers
 * are the same on every platform).
 *
 * It keeps, from the file a Windows CPython installs as include/pyconfig.h
 * (PC/pyconfig.h in CPython's sources), the definitions that its headers
 * read when compiling an extension module with GCC for 64-bit Windows.
 * Like that file, it defines MS_WIN64 for MSVC only: a mingw build must
 * define it itself.  The #error at the end is ours, so that the check fails
 * when the build forgets to.
 */
#ifndef Py_CONFIG_H
#define Py_CONFIG_H

#include <io.h>

#define MS_WIN32
#define MS_WINDOWS
#define NT_THREADS
#define WITH_THREAD

#ifdef _MSC_VER
#  ifdef _WIN64
#    define MS_WIN64
#  endif
#endif

#if defined(__GNUC__) && defined(_WIN32)
#  define COMPILER "[gcc]"
#  define PY_LONG_LONG long long
#  define PY_LLONG_MIN LLONG_MIN
#  define PY_LLONG_MAX LLONG_MAX
#  define PY_ULLONG_MAX ULLONG_MAX
#endif

#include <stdio.h>

/* The interpreter is a DLL, and its API is imported with __declspec. */
#define Py_ENABLE_SHARED 1
#define MS_COREDLL
#define HAVE_DECLSPEC_DLL

#if defined(MS_WIN64)
#  define PLATFORM "win32"
#  define SIZEOF_VOID_P 8
#  define SIZEOF_TIME_T 8
#  define SIZEOF_OFF_T 4
#  define SIZEOF_FPOS_T 8
#  define SIZEOF_HKEY 8
#  define SIZEOF_SIZE_T 8
#  define HAVE_LARGEFILE_SUPPORT
#elif defined(MS_WIN32)
#  define PLATFORM "win32"
#  define HAVE_LARGEFILE_SUPPORT
#  define SIZEOF_VOID_P 4
#  define SIZEOF_OFF_T 4
#  define SIZEOF_FPOS_T 8
#  define SIZEOF_HKEY 4
#  define SIZEOF_SIZE_T 4
#  define SIZEOF_TIME_T 8
#endif

#define SIZEOF_SHORT 2
#define SIZEOF_INT 4
#define SIZEOF_LONG 4
#define SIZEOF_LONG_LONG 8
#define SIZEOF_DOUBLE 8
#define SIZEOF_FLOAT 4
#define SIZEOF_WCHAR_T 2
#define SIZEOF__BOOL 1
#define SIZEOF_PID_T SIZEOF_INT
#define LONG_BIT 32
#define WORD_BIT 32

#define HAVE_WCHAR_H 1
#define HAVE_STDDEF_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_ERRNO_H 1
#define HAVE_FCNTL_H 1
#define HAVE_SIGNAL_H 1
#define HAVE_DYNAMIC_LOADING
#define DOUBLE_IS_LITTLE_ENDIAN_IEEE754 1
#define WITH_DOC_STRINGS 1
#define WITH_PYMALLOC 1

#if defined(__GNUC__) && SIZEOF_VOID_P != __SIZEOF_POINTER__
#  error "pointer size disagrees with the interpreter's: 64-bit builds need MS_WIN64 defined"
#endif

#endif /* !Py_CONFIG_H */
