// Keeps exceptions on our side of the boundary. A trace callback or an entry
// point that throws (out of memory, a JSON type error nobody expected) must
// not unwind into the simulator: the event is dropped, the first failure is
// printed at once and the rest are counted, so the instance can say at
// release how many events were lost.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>

#include "boundary/host_abi.h"

namespace vantric {

class GuardedCall {
public:
    // Prints "ERROR (Vantric) <where> failed : <what>". A counted failure (a
    // dropped event) is printed only when it is the first since the last
    // Reset; an entry point's failure is printed every time. Never throws.
    static void Failed(const char* where, const char* what, bool counted) noexcept;
    static uint64_t FailureCount() noexcept { return failures_.load(std::memory_order_relaxed); }
    static void Reset() noexcept { failures_.store(0, std::memory_order_relaxed); }

    // Runs an entry point's `body`; an exception is printed and gives `fallback`.
    template <typename Result, typename Body>
    static Result Entry(const char* where, Result fallback, Body&& body) noexcept {
        return Run(where, fallback, body, false);
    }

    template <typename Body>
    static void Entry(const char* where, Body&& body) noexcept {
        Run<bool>(where, false, [&] { return body(), true; }, false);
    }

    // The callback the host is given in place of `Callback`.
    template <ZVT::EventCallback Callback>
    static void Event(void* userData, ZVT::EventClass* eventClass, const uint8_t* record) noexcept {
        Run<bool>("Trace event", false,
                  [&] { return Callback(userData, eventClass, record), true; }, true);
    }

private:
    template <typename Result, typename Body>
    static Result Run(const char* where, Result fallback, Body&& body, bool counted) noexcept {
        try {
            return body();
        } catch (const std::exception& error) {
            Failed(where, error.what(), counted);
        } catch (...) {
            Failed(where, "unknown exception", counted);
        }
        return fallback;
    }

    static std::atomic<uint64_t> failures_;
};

}  // namespace vantric
