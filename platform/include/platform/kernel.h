// Kernel services: the subset of the operating system's base services that the
// drivers call (heap, virtual memory, critical sections, threads, TLS, time,
// environment, libraries, pagefile-backed sections, logical processes and
// debug output), with the calling conventions and return values callers rely
// on. Everything runs in one Linux process; "processes" are logical processes
// that this layer keeps apart (ids, handle tables, exit clean-up).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "platform/export.h"

// ---------------------------------------------------------------------------
// Base types, sized as on the original 32-bit platform where records carry
// them across a boundary.
typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned char UCHAR;
typedef char CHAR;
typedef unsigned short WORD;
typedef unsigned short USHORT;
typedef short SHORT;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef std::uint32_t ULONG;
typedef std::uint32_t UINT;
typedef std::int32_t INT;
typedef float FLOAT;
typedef char16_t WCHAR;
typedef std::size_t SIZE_T;
typedef std::uintptr_t ULONG_PTR;
typedef std::intptr_t LONG_PTR;
typedef void VOID;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef DWORD* LPDWORD;
typedef ULONG* PULONG;
typedef BYTE* PBYTE;
typedef void* HANDLE;
typedef HANDLE* LPHANDLE;
typedef void* HLOCAL;
typedef struct HMODULE__* HMODULE;
typedef HMODULE HINSTANCE;
typedef void (*FARPROC)(void);

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INFINITE 0xFFFFFFFFu

// Last-error codes used by this layer.
#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_MOD_NOT_FOUND 126u
#define ERROR_PROC_NOT_FOUND 127u
#define ERROR_ENVVAR_NOT_FOUND 203u
#define ERROR_PARTIAL_COPY 299u
#define ERROR_INVALID_ADDRESS 487u
#define ERROR_NOACCESS 998u

// LocalAlloc flags. Every allocation of this layer is zero-filled.
#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

// VirtualAlloc / VirtualFree.
#define MEM_COMMIT 0x00001000u
#define MEM_RESERVE 0x00002000u
#define MEM_DECOMMIT 0x00004000u
#define MEM_RELEASE 0x00008000u
#define PAGE_NOACCESS 0x01u
#define PAGE_READONLY 0x02u
#define PAGE_READWRITE 0x04u
#define SEC_COMMIT 0x08000000u

// Sections.
#define FILE_MAP_COPY 0x0001u
#define FILE_MAP_WRITE 0x0002u
#define FILE_MAP_READ 0x0004u
#define FILE_MAP_ALL_ACCESS 0x000F001Fu

// Threads, processes and waits.
#define CREATE_SUSPENDED 0x00000004u
#define STILL_ACTIVE 259u
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
#define PROCESS_VM_OPERATION 0x0008u
#define PROCESS_VM_READ 0x0010u
#define PROCESS_VM_WRITE 0x0020u
#define PROCESS_DUP_HANDLE 0x0040u
#define PROCESS_ALL_ACCESS 0x001F0FFFu
#define DUPLICATE_CLOSE_SOURCE 0x00000001u
#define DUPLICATE_SAME_ACCESS 0x00000002u

#define TLS_OUT_OF_INDEXES 0xFFFFFFFFu
#define TLS_MINIMUM_AVAILABLE 64u

typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID);

// A re-entrant lock. The owner may enter again; it is released when every
// enter has been matched by a leave.
typedef struct CRITICAL_SECTION {
    void* LockImpl;        // the mutex behind it, made by InitializeCriticalSection
    DWORD OwningThread;    // thread id of the owner, 0 when free
    LONG RecursionCount;   // enters not yet matched by a leave
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

typedef struct SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    ULONG_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;

extern "C" {

// --- last error -----------------------------------------------------------
VNX_PLATFORM_API DWORD GetLastError(void);
VNX_PLATFORM_API void SetLastError(DWORD dwErrCode);

// --- heap and virtual memory ----------------------------------------------
VNX_PLATFORM_API HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
VNX_PLATFORM_API HLOCAL LocalFree(HLOCAL hMem);
// The byte count of a live block from LocalAlloc; 0 (ERROR_INVALID_HANDLE)
// for a block already freed or an address where no block starts.
VNX_PLATFORM_API SIZE_T LocalSize(HLOCAL hMem);
VNX_PLATFORM_API LPVOID VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType,
                                     DWORD flProtect);
VNX_PLATFORM_API BOOL VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType);

// --- critical sections ----------------------------------------------------
VNX_PLATFORM_API void InitializeCriticalSection(LPCRITICAL_SECTION cs);
VNX_PLATFORM_API void EnterCriticalSection(LPCRITICAL_SECTION cs);
VNX_PLATFORM_API BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);
VNX_PLATFORM_API void LeaveCriticalSection(LPCRITICAL_SECTION cs);
VNX_PLATFORM_API void DeleteCriticalSection(LPCRITICAL_SECTION cs);

// --- threads --------------------------------------------------------------
VNX_PLATFORM_API HANDLE CreateThread(LPVOID lpThreadAttributes, SIZE_T dwStackSize,
                                     LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                     DWORD dwCreationFlags, LPDWORD lpThreadId);
// Suspending the calling thread blocks it until the count drops to zero.
// Suspending another thread raises its count; that thread stops at its next
// suspension point (Sleep, SuspendThread or WaitForSingleObject).
VNX_PLATFORM_API DWORD SuspendThread(HANDLE hThread);
VNX_PLATFORM_API DWORD ResumeThread(HANDLE hThread);
VNX_PLATFORM_API BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
VNX_PLATFORM_API HANDLE GetCurrentThread(void);
VNX_PLATFORM_API DWORD GetCurrentThreadId(void);
VNX_PLATFORM_API DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
VNX_PLATFORM_API void Sleep(DWORD dwMilliseconds);
VNX_PLATFORM_API DWORD GetTickCount(void);
VNX_PLATFORM_API void GetSystemInfo(LPSYSTEM_INFO lpSystemInfo);
// Every thread of the process has its pending stores made visible (and runs
// a full barrier) before this returns: the costly side of a handshake whose
// frequent side needs only its program order.
VNX_PLATFORM_API void FlushProcessWriteBuffers(void);

// --- thread-local storage -------------------------------------------------
VNX_PLATFORM_API DWORD TlsAlloc(void);
VNX_PLATFORM_API LPVOID TlsGetValue(DWORD dwTlsIndex);
VNX_PLATFORM_API BOOL TlsSetValue(DWORD dwTlsIndex, LPVOID lpTlsValue);
VNX_PLATFORM_API BOOL TlsFree(DWORD dwTlsIndex);

// Fiber-local storage, here one value a thread per slot, with a callback the
// thread's end runs for each slot whose value is not null (in the process
// that allocated the slot, with the value). FlsFree runs no callback.
#define FLS_OUT_OF_INDEXES 0xFFFFFFFFu
typedef void (*PFLS_CALLBACK_FUNCTION)(PVOID lpFlsData);
VNX_PLATFORM_API DWORD FlsAlloc(PFLS_CALLBACK_FUNCTION lpCallback);
VNX_PLATFORM_API PVOID FlsGetValue(DWORD dwFlsIndex);
VNX_PLATFORM_API BOOL FlsSetValue(DWORD dwFlsIndex, PVOID lpFlsData);
VNX_PLATFORM_API BOOL FlsFree(DWORD dwFlsIndex);

// --- environment ----------------------------------------------------------
// Returns the length copied (without the terminator), the size needed
// (with the terminator) when the buffer is too small, or 0. A variable that
// is set but empty answers 0 with last error ERROR_SUCCESS; an unset one
// answers 0 with ERROR_ENVVAR_NOT_FOUND.
VNX_PLATFORM_API DWORD GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize);
// A null value removes the variable.
VNX_PLATFORM_API BOOL SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue);

// --- libraries ------------------------------------------------------------
// "name.dll" (or a bare name) is looked up as the shared library "name.so" in
// the folder of the module that calls, then in the folder of the program; a
// name with a '/' is opened as given. Loads are counted per module.
VNX_PLATFORM_API HMODULE LoadLibraryA(LPCSTR lpLibFileName);
VNX_PLATFORM_API FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
VNX_PLATFORM_API BOOL FreeLibrary(HMODULE hLibModule);

// --- sections and handles -------------------------------------------------
// Only pagefile-backed sections (hFile == INVALID_HANDLE_VALUE) exist here.
VNX_PLATFORM_API HANDLE CreateFileMappingA(HANDLE hFile, LPVOID lpAttributes, DWORD flProtect,
                                           DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow,
                                           LPCSTR lpName);
VNX_PLATFORM_API LPVOID MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess,
                                      DWORD dwFileOffsetHigh, DWORD dwFileOffsetLow,
                                      SIZE_T dwNumberOfBytesToMap);
VNX_PLATFORM_API BOOL UnmapViewOfFile(LPCVOID lpBaseAddress);
VNX_PLATFORM_API BOOL CloseHandle(HANDLE hObject);
VNX_PLATFORM_API BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                                      HANDLE hTargetProcessHandle, LPHANDLE lpTargetHandle,
                                      DWORD dwDesiredAccess, BOOL bInheritHandle,
                                      DWORD dwOptions);

// --- processes ------------------------------------------------------------
VNX_PLATFORM_API HANDLE GetCurrentProcess(void);
VNX_PLATFORM_API DWORD GetCurrentProcessId(void);
// The id of the process a process handle names; 0 for a bad handle.
VNX_PLATFORM_API DWORD GetProcessId(HANDLE hProcess);
VNX_PLATFORM_API HANDLE OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle,
                                    DWORD dwProcessId);
// Copy between the caller and a process's memory. An address that is not
// mapped fails with ERROR_PARTIAL_COPY (nothing is faulted on).
VNX_PLATFORM_API BOOL ReadProcessMemory(HANDLE hProcess, LPCVOID lpBaseAddress, LPVOID lpBuffer,
                                        SIZE_T nSize, SIZE_T* lpNumberOfBytesRead);
VNX_PLATFORM_API BOOL WriteProcessMemory(HANDLE hProcess, LPVOID lpBaseAddress,
                                         LPCVOID lpBuffer, SIZE_T nSize,
                                         SIZE_T* lpNumberOfBytesWritten);

// --- debug output ---------------------------------------------------------
// Both go to the one debug sink (see platform/debug.h).
VNX_PLATFORM_API ULONG DbgPrint(const char* Format, ...) __attribute__((format(printf, 1, 2)));
VNX_PLATFORM_API void OutputDebugStringA(LPCSTR lpOutputString);

}  // extern "C"
