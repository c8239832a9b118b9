#include "linux_workload.h"

#include <algorithm>

namespace simhost {
namespace {

constexpr uint64_t kReadNumber = 63;
constexpr uint64_t kWriteNumber = 64;
constexpr uint64_t kFutexNumber = 98;
constexpr uint64_t kNanosleepNumber = 115;

constexpr int32_t kReadOnly = 0x80000;  // O_RDONLY | O_CLOEXEC
constexpr int32_t kAppend = 0x80441;    // O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC
constexpr int32_t kTruncate = 0x241;    // O_WRONLY | O_CREAT | O_TRUNC

}  // namespace

LinuxWorkload LinuxWorkload::Standard() {
    using enum Blocking;
    using enum Lifetime;
    const std::string libc = "/usr/lib/aarch64-linux-gnu/libc.so.6";
    const std::string ld = "/usr/lib/aarch64-linux-gnu/ld-linux-aarch64.so.1";
    LinuxWorkload w;
    w.plainCalls_ = {{kReadNumber, kIoWait, 40},
                     {kWriteNumber, kNever, 0},
                     {kFutexNumber, kSleep, 50},
                     {kNanosleepNumber, kSleep, 100}};
    w.processes_ = {
        {1200, "nginx", "/usr/sbin/nginx",
         {libc, ld, "/usr/lib/aarch64-linux-gnu/libpcre2-8.so.0", "/usr/lib/aarch64-linux-gnu/libssl.so.3"},
         false,
         {{1201, "nginx-worker", kForever}, {1202, "nginx-worker", kForever}, {1203, "nginx-cache", kEighth}},
         {{"/etc/nginx/nginx.conf", kReadOnly, 0, kNever, 0},
          {"/var/www/html/index.html", kReadOnly, 0, kIoWait, 30},
          {"/var/log/nginx/access.log", kAppend, 0640, kNever, 0}},
         {}},
        {1350, "python3", "/usr/bin/python3.11",
         {libc, ld, "/usr/lib/aarch64-linux-gnu/libm.so.6",
          "/usr/lib/python3.11/lib-dynload/_json.cpython-311-aarch64-linux-gnu.so"},
         true,
         {{1351, "python3-io", kForever}, {1352, "asyncio_0", kSixteenth}},
         {{"/usr/lib/python3.11/json/__init__.py", kReadOnly, 0, kIoWait, 20},
          {"/home/kv/data/input.csv", kReadOnly, 0, kIoWait, 50},
          {"/tmp/report.txt", kTruncate, 0100644, kNever, 0}},  // a mode past 16 bits
         {}},
        {1502, "postgres", "/usr/lib/postgresql/15/bin/postgres",
         {libc, ld, "/usr/lib/aarch64-linux-gnu/libssl.so.3", "/usr/lib/aarch64-linux-gnu/libz.so.1"},
         false,
         {{1503, "postgres-walwr", kForever}, {1504, "autovacuum", kEighth}},
         {{"/var/lib/postgresql/15/main/base/16384/2619", kReadOnly, 0, kIoWait, 60},
          {"/var/lib/postgresql/15/main/pg_wal/000000010000000000000001", kAppend, 0600, kIoWait, 40}},
         {}},
        {1720, "make", "/usr/bin/make",
         {libc, ld},
         false,
         {},
         {{"Makefile", kReadOnly, 0, kNever, 0}, {"/usr/include/stdio.h", kReadOnly, 0, kIoWait, 20}},
         {{"/bin/sh",
           {"/bin/sh", "-c", "cc -O2 -c main.c -o main.o"},
           {"PATH=/usr/local/bin:/usr/bin:/bin", "LANG=C.UTF-8", "MAKEFLAGS=-j4"}},
          {"/usr/bin/cc", {"cc", "-O2", "-c", "util.c"}, {"LANG=C.UTF-8"}}}},
    };
    w.worker_ = {57, "kworker/0:1"};
    return w;
}

uint64_t LinuxWorkload::LifetimeInstructions(Lifetime lifetime, uint64_t instructions) {
    const uint64_t eighth = std::max<uint64_t>(instructions / 8, 20000);
    switch (lifetime) {
        case Lifetime::kEighth:
            return eighth;
        case Lifetime::kSixteenth:
            return eighth / 2;
        case Lifetime::kForever:
            break;
    }
    return UINT64_MAX;
}

}  // namespace simhost
