// Runs work on a thread with a small stack, as a host's simulation thread may
// have: code that recursed per nesting level would overflow it.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>
#include <stdexcept>

namespace vq::testing {

inline void runOnSmallStack(const std::function<void()>& work, std::size_t stackBytes = 512 * 1024) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stackBytes);
    auto trampoline = [](void* argument) -> void* {
        (*static_cast<const std::function<void()>*>(argument))();
        return nullptr;
    };
    pthread_t thread;
    const int started = pthread_create(&thread, &attributes, trampoline, const_cast<std::function<void()>*>(&work));
    pthread_attr_destroy(&attributes);
    if (started != 0) throw std::runtime_error("cannot start a thread");
    pthread_join(thread, nullptr);
}

}  // namespace vq::testing
