#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>

#include <cstring>

#include "platform/faults.h"
#include "platform/kernel.h"
#include "platform/process.h"

namespace {

// One client process for the length of a test; ended at the end.
struct Client {
    DWORD pid = vnx::process::create("client");
    ~Client() { vnx::process::terminate(pid); }
};

}  // namespace

TEST(KernelSections, TwoViewsOfOneSectionSeeTheSameBytes) {
    HANDLE s = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0,
                                  2 * 0x200000 + 64, nullptr);
    ASSERT_NE(s, nullptr);
    auto* a = static_cast<unsigned char*>(MapViewOfFile(s, FILE_MAP_WRITE, 0, 0, 0));
    auto* b = static_cast<unsigned char*>(MapViewOfFile(s, FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(a, b);
    EXPECT_EQ(a[0x200000 + 63], 0);
    a[0x200000 + 63] = 0x5A;
    EXPECT_EQ(b[0x200000 + 63], 0x5A);
    // The section outlives its handle while views remain.
    EXPECT_TRUE(CloseHandle(s));
    b[1] = 7;
    EXPECT_EQ(a[1], 7);
    EXPECT_TRUE(UnmapViewOfFile(a));
    EXPECT_FALSE(UnmapViewOfFile(a));
    EXPECT_FALSE(UnmapViewOfFile(b + 1)) << "only a view's base unmaps it";
    EXPECT_TRUE(UnmapViewOfFile(b));
}

TEST(KernelSections, BadArgumentsAndArmedFailuresAnswerNull) {
    vnx::faults::Scope faults;
    EXPECT_EQ(CreateFileMappingA(nullptr, nullptr, PAGE_READWRITE, 0, 4096, nullptr), nullptr);
    EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, nullptr),
              nullptr);
    HANDLE s = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(MapViewOfFile(s, FILE_MAP_WRITE, 0, 0, 8192), nullptr) << "past the end";
    EXPECT_EQ(MapViewOfFile(s, FILE_MAP_WRITE, 0, 4096, 0), nullptr);
    EXPECT_EQ(MapViewOfFile(reinterpret_cast<HANDLE>(0x9990), FILE_MAP_WRITE, 0, 0, 0), nullptr);
    vnx::faults::arm("MapViewOfFile");
    EXPECT_EQ(MapViewOfFile(s, FILE_MAP_WRITE, 0, 0, 0), nullptr);
    vnx::faults::arm("CreateFileMappingA");
    EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr),
              nullptr);
    CloseHandle(s);
}

TEST(KernelProcesses, HandlesArePrivateAndDuplicateAcrossProcesses) {
    Client client;
    HANDLE section;
    unsigned char* clientView;
    {
        // The client makes a section and writes into it.
        vnx::process::Scope in(client.pid);
        EXPECT_EQ(GetCurrentProcessId(), client.pid);
        section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 65536 * 2,
                                     nullptr);
        ASSERT_NE(section, nullptr);
        clientView = static_cast<unsigned char*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0));
        ASSERT_NE(clientView, nullptr);
        clientView[65536 + 5] = 0x33;
    }
    // The server cannot use the client's handle value as its own...
    EXPECT_EQ(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0), nullptr);
    EXPECT_FALSE(CloseHandle(section));
    // ...but duplicates it from the client and maps a view at the second half.
    HANDLE clientProcess = OpenProcess(PROCESS_DUP_HANDLE | PROCESS_VM_READ, FALSE, client.pid);
    ASSERT_NE(clientProcess, nullptr);
    HANDLE mine = nullptr;
    ASSERT_TRUE(DuplicateHandle(clientProcess, section, GetCurrentProcess(), &mine, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    auto* serverView =
        static_cast<unsigned char*>(MapViewOfFile(mine, FILE_MAP_WRITE, 0, 65536, 0));
    ASSERT_NE(serverView, nullptr);
    EXPECT_EQ(serverView[5], 0x33);
    serverView[6] = 0x44;
    EXPECT_EQ(clientView[65536 + 6], 0x44);
    EXPECT_FALSE(DuplicateHandle(clientProcess, reinterpret_cast<HANDLE>(0x4444),
                                 GetCurrentProcess(), &mine, 0, FALSE, DUPLICATE_SAME_ACCESS));

    // Ending the client drops its views and handles; the server's view lives
    // on. Waiters are released only once the clean-up has run.
    int ran = 0;
    DWORD waitDuringCleanUp = 0;
    ASSERT_NE(vnx::process::on_exit(client.pid,
                                    [&] {
                                        ++ran;
                                        waitDuringCleanUp = WaitForSingleObject(clientProcess, 0);
                                    }),
              0);
    ASSERT_TRUE(vnx::process::terminate(client.pid));
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(waitDuringCleanUp, WAIT_TIMEOUT);
    EXPECT_FALSE(vnx::process::terminate(client.pid));
    EXPECT_FALSE(vnx::process::is_alive(client.pid));
    EXPECT_EQ(serverView[5], 0x33);
    EXPECT_FALSE(UnmapViewOfFile(clientView)) << "the client's view went with the client";
    EXPECT_EQ(OpenProcess(PROCESS_VM_READ, FALSE, client.pid), nullptr);
    EXPECT_EQ(WaitForSingleObject(clientProcess, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(UnmapViewOfFile(serverView));
    EXPECT_TRUE(CloseHandle(mine));
    EXPECT_TRUE(CloseHandle(clientProcess));
    EXPECT_FALSE(vnx::process::Scope(client.pid).ok());
    EXPECT_FALSE(vnx::process::terminate(vnx::process::server_id()));
}

TEST(KernelProcesses, ReadAndWriteProcessMemoryFailCleanlyOnBadAddresses) {
    Client client;
    HANDLE h = OpenProcess(PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, client.pid);
    ASSERT_NE(h, nullptr);
    char clientData[16] = "client bytes";
    char buf[16] = {};
    SIZE_T n = 99;
    ASSERT_TRUE(ReadProcessMemory(h, clientData, buf, 13, &n));
    EXPECT_EQ(n, 13u);
    EXPECT_STREQ(buf, "client bytes");
    ASSERT_TRUE(WriteProcessMemory(h, clientData, "server", 6, &n));
    EXPECT_EQ(std::memcmp(clientData, "server", 6), 0);

    // An address nobody mapped: the call fails, nothing faults.
    auto* bad = reinterpret_cast<const void*>(0x10);
    EXPECT_FALSE(ReadProcessMemory(h, bad, buf, 8, &n));
    EXPECT_EQ(GetLastError(), ERROR_PARTIAL_COPY);
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(WriteProcessMemory(h, const_cast<void*>(bad), buf, 8, &n));
    EXPECT_EQ(GetLastError(), ERROR_PARTIAL_COPY);
    // Wild addresses anywhere (an unmapped page, past the user half, not
    // canonical): reads and writes fail cleanly, also under the sanitizers.
    void* gone = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(gone, MAP_FAILED);
    munmap(gone, 4096);
    for (std::uintptr_t wild :
         {reinterpret_cast<std::uintptr_t>(gone), std::uintptr_t{0x800000000000},
          std::uintptr_t{0xFFFF800000001000}, ~std::uintptr_t{0xFFF}}) {
        SCOPED_TRACE(wild);
        void* pv = reinterpret_cast<void*>(wild);
        EXPECT_FALSE(WriteProcessMemory(h, pv, "wild", 4, &n));
        EXPECT_EQ(n, 0u);
        EXPECT_FALSE(ReadProcessMemory(h, pv, buf, 4, &n));
        EXPECT_EQ(n, 0u);
    }

    // A range running off the end of a mapping copies only what is there.
    char* page;
    {
        vnx::process::Scope in(client.pid);
        page = static_cast<char*>(VirtualAlloc(nullptr, 8192, MEM_RESERVE, PAGE_NOACCESS));
        ASSERT_NE(page, nullptr);
        ASSERT_EQ(VirtualAlloc(page, 4096, MEM_COMMIT, PAGE_READWRITE), page);
    }
    char big[64];
    EXPECT_FALSE(ReadProcessMemory(h, page + 4096 - 16, big, sizeof big, &n));
    EXPECT_EQ(n, 16u);
    VirtualFree(page, 0, MEM_RELEASE);

    // The server's own records are not the client's memory, though they share
    // one address space: naming them through the client's handle fails.
    auto* record = static_cast<char*>(LocalAlloc(LPTR, 64));
    EXPECT_FALSE(ReadProcessMemory(h, record, buf, 8, &n));
    EXPECT_EQ(GetLastError(), ERROR_PARTIAL_COPY);
    EXPECT_FALSE(WriteProcessMemory(h, record + 60, "hostile", 8, &n)) << "straddles the record";
    EXPECT_EQ(record[60], 0);
    LocalFree(record);
    char* clientRecord;
    {
        vnx::process::Scope in(client.pid);
        clientRecord = static_cast<char*>(LocalAlloc(LPTR, 64));
    }
    EXPECT_TRUE(WriteProcessMemory(h, clientRecord, "reply", 6, &n));
    EXPECT_STREQ(clientRecord, "reply");
    LocalFree(clientRecord);

    // Access rights of the handle are checked.
    HANDLE readOnly = OpenProcess(PROCESS_VM_READ, FALSE, client.pid);
    EXPECT_FALSE(WriteProcessMemory(readOnly, clientData, "x", 1, &n));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(readOnly);
    CloseHandle(h);
    EXPECT_FALSE(ReadProcessMemory(h, clientData, buf, 1, &n)) << "closed handle";
}

namespace {

// An ended process's record goes once its clean-up is done: a long run of
// short-lived processes keeps no record of each. A handle to the process
// still waits on it.
TEST(KernelProcesses, EndedProcessesLeaveNoRecord) {
    const size_t cBefore = vnx::process::records();
    Client watcher;
    HANDLE hEnded = nullptr;
    for (int i = 0; i < 200; ++i) {
        const DWORD pid = vnx::process::create("short");
        if (i == 0) {
            vnx::process::Scope as(watcher.pid);
            hEnded = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
            ASSERT_NE(hEnded, nullptr);
        }
        EXPECT_TRUE(vnx::process::terminate(pid));
        EXPECT_FALSE(vnx::process::terminate(pid));
        EXPECT_FALSE(vnx::process::is_alive(pid));
    }
    EXPECT_EQ(vnx::process::records(), cBefore + 1);  // the watcher
    vnx::process::Scope as(watcher.pid);
    EXPECT_EQ(WaitForSingleObject(hEnded, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(hEnded));
}

}  // namespace
