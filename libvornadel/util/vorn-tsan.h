/* vorn-tsan.h: happens-before hints for ThreadSanitizer (engine-internal).
 *
 * GLib's mutexes take a futex fast path that ThreadSanitizer cannot see, so a
 * message handed over through a GAsyncQueue would look unsynchronised.  The
 * sender releases the queue's address before pushing and the receiver
 * acquires it after a successful pop.  Outside ThreadSanitizer builds these
 * compile to nothing. */
#pragma once

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire (void *addr);
extern "C" void __tsan_release (void *addr);
#define VORN_TSAN_RELEASE(addr) __tsan_release ((void *) (addr))
#define VORN_TSAN_ACQUIRE(addr) __tsan_acquire ((void *) (addr))
#else
#define VORN_TSAN_RELEASE(addr) ((void) 0)
#define VORN_TSAN_ACQUIRE(addr) ((void) 0)
#endif
