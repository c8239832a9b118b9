#include "linux_workload.h"

#include <algorithm>
#include <filesystem>
#include <set>

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
    const std::string pcre = "/usr/lib/aarch64-linux-gnu/libpcre2-8.so.0";
    const std::string ssl = "/usr/lib/aarch64-linux-gnu/libssl.so.3";
    const std::string libm = "/usr/lib/aarch64-linux-gnu/libm.so.6";
    const std::string json = "/usr/lib/python3.11/lib-dynload/_json.cpython-311-aarch64-linux-gnu.so";
    const std::string libz = "/usr/lib/aarch64-linux-gnu/libz.so.1";
    const std::string nginx = "/usr/sbin/nginx";
    const std::string python = "/usr/bin/python3.11";
    const std::string postgres = "/usr/lib/postgresql/15/bin/postgres";
    const std::string make = "/usr/bin/make";
    LinuxWorkload w;
    w.plainCalls_ = {{kReadNumber, kIoWait, 40},
                     {kWriteNumber, kNever, 0},
                     {kFutexNumber, kSleep, 50},
                     {kNanosleepNumber, kSleep, 100}};
    w.processes_ = {
        {1200, "nginx", nginx,
         {libc, ld, pcre, ssl},
         false,
         {{1201, "nginx-worker", kForever}, {1202, "nginx-worker", kForever}, {1203, "nginx-cache", kEighth}},
         {{"/etc/nginx/nginx.conf", kReadOnly, 0, kNever, 0},
          {"/var/www/html/index.html", kReadOnly, 0, kIoWait, 30},
          {"/var/log/nginx/access.log", kAppend, 0640, kNever, 0}},
         {}},
        {1350, "python3", python,
         {libc, ld, libm, json},
         true,
         {{1351, "python3-io", kForever}, {1352, "asyncio_0", kSixteenth}},
         {{"/usr/lib/python3.11/json/__init__.py", kReadOnly, 0, kIoWait, 20},
          {"/home/kv/data/input.csv", kReadOnly, 0, kIoWait, 50},
          {"/tmp/report.txt", kTruncate, 0100644, kNever, 0}},  // a mode past 16 bits
         {}},
        {1502, "postgres", postgres,
         {libc, ld, ssl, libz},
         false,
         {{1503, "postgres-walwr", kForever}, {1504, "autovacuum", kEighth}},
         {{"/var/lib/postgresql/15/main/base/16384/2619", kReadOnly, 0, kIoWait, 60},
          {"/var/lib/postgresql/15/main/pg_wal/000000010000000000000001", kAppend, 0600, kIoWait, 40}},
         {}},
        {1720, "make", make,
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
    // What the files' symbol tables name, in address order.
    w.functionNames_ = {
        {nginx, {"nginx_main", "nginx_master_loop", "nginx_worker_loop", "nginx_wait_events",
                 "nginx_accept_connection", "nginx_read_request", "nginx_parse_request", "nginx_find_location",
                 "nginx_serve_static", "nginx_send_file", "nginx_write_response", "nginx_log_access",
                 "nginx_cache_manager"}},
        {python, {"python_main", "python_run_file", "python_eval_frame", "python_call_function",
                  "python_vectorcall", "python_dict_lookup", "python_list_append", "python_unicode_decode",
                  "python_import_module", "python_gc_collect", "python_alloc_object", "python_release_gil"}},
        {postgres, {"postgres_main", "postgres_backend_loop", "postgres_exec_simple_query",
                    "postgres_parse_query", "postgres_plan_query", "postgres_executor_run", "postgres_seq_scan",
                    "postgres_index_scan", "postgres_read_buffer", "postgres_wal_insert",
                    "postgres_wal_writer_loop", "postgres_autovacuum_loop"}},
        {make, {"make_main", "make_read_makefiles", "make_expand_variable", "make_update_goals",
                "make_check_dependencies", "make_start_job", "make_reap_children", "make_hash_find"}},
        {libc, {"libc_start_main", "malloc", "free", "calloc", "memcpy", "memset", "strlen", "strcmp",
                "read", "write", "openat", "close", "futex_wait", "nanosleep", "pthread_mutex_lock",
                "pthread_cond_wait", "printf", "qsort"}},
        {ld, {"dl_start", "dl_main", "dl_map_object", "dl_relocate_object", "dl_lookup_symbol",
              "dl_runtime_resolve", "dl_init"}},
        {pcre, {"pcre2_compile", "pcre2_match", "pcre2_jit_compile", "pcre2_match_data_create"}},
        {ssl, {"ssl_accept", "ssl_read", "ssl_write", "ssl_do_handshake", "tls_read_record", "tls_write_record",
               "aes_gcm_encrypt", "aes_gcm_decrypt"}},
        {libm, {"sin", "cos", "exp", "log", "pow", "sqrt", "floor"}},
        {json, {"json_scanner_call", "json_scan_once", "json_parse_object", "json_parse_string",
                "json_encode_basestring", "json_encoder_call"}},
        {libz, {"deflate", "inflate", "deflate_slow", "inflate_fast", "crc32", "adler32"}},
    };
    return w;
}

std::vector<LinuxWorkload::CodeFileEntry> LinuxWorkload::CodeFiles() const {
    std::vector<CodeFileEntry> files;
    std::set<std::string> seen;
    auto add = [&](const std::string& path, uint64_t codeSize) {
        if (!seen.insert(path).second) return;
        // A file missing from the name table still gets its code named.
        auto named = functionNames_.find(path);
        const std::vector<std::string> names =
            named != functionNames_.end()
                ? named->second
                : std::vector<std::string>{std::filesystem::path(path).filename().string() + "_code"};
        CodeFileEntry file{path, codeSize, {}};
        // Equal shares, 16-byte aligned; the last reaches the end of the code.
        auto boundary = [&](uint64_t i) {
            return i == names.size() ? codeSize : (codeSize * i / names.size()) & ~uint64_t{15};
        };
        for (uint64_t i = 0; i < names.size(); ++i)
            file.functions.push_back({names[i], boundary(i), boundary(i + 1) - boundary(i)});
        files.push_back(std::move(file));
    };
    for (const ProcessEntry& p : processes_) {
        add(p.exe, kExeCodeSize);
        for (const std::string& library : p.libraries) add(library, kLibraryCodeSize);
    }
    return files;
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
