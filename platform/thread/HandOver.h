// Hand-overs that pass through a library the thread checker cannot see
// into (GStreamer and GLib synchronise their threads with futexes and
// atomics of their own): the handing side marks an object released once
// it is set up, and the side that receives it through that library marks
// it acquired, so ThreadSanitizer orders the two as the library does.
// Without ThreadSanitizer both marks cost nothing.
//
// Thread safety: any thread. Ownership: the marks hold nothing.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define PLEXORA_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define PLEXORA_THREAD_SANITIZER 1
#endif
#endif

#ifdef PLEXORA_THREAD_SANITIZER
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace plexora::platform {

inline void markHandedOver(const void* object) {
#ifdef PLEXORA_THREAD_SANITIZER
  __tsan_release(const_cast<void*>(object));
#else
  (void)object;
#endif
}

inline void markReceived(const void* object) {
#ifdef PLEXORA_THREAD_SANITIZER
  __tsan_acquire(const_cast<void*>(object));
#else
  (void)object;
#endif
}

}  // namespace plexora::platform
