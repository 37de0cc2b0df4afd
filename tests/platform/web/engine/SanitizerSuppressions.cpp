// What the sanitizers must not blame on us in the engine's tests, built into
// the program so every way of running it (ctest, by hand, a debugger) agrees.
//
// LeakSanitizer: the engine's library keeps allocations for the life of the
// process and frees none at exit. ThreadSanitizer (in a build with it): the
// engine's libraries are not instrumented, and their threads synchronise
// through atomics and futexes the sanitizer cannot see. Only those libraries
// are named, so faults in frames of our own code are still reported.

extern "C" {

const char* __lsan_default_suppressions();
const char* __tsan_default_suppressions();

const char* __lsan_default_suppressions() { return "leak:libWPEWebKit-1.1.so\n"; }

const char* __tsan_default_suppressions() {
  return "called_from_lib:libWPEWebKit-1.1.so.0\n"
         "called_from_lib:libglib-2.0.so.0\n"
         "called_from_lib:libgobject-2.0.so.0\n"
         "called_from_lib:libgio-2.0.so.0\n"
         "race:libWPEWebKit-1.1.so.0\n"
         "race:libglib-2.0.so.0\n"
         "race:libgobject-2.0.so.0\n"
         "race:libgio-2.0.so.0\n"
         "deadlock:libglib-2.0.so.0\n"
         "deadlock:libgobject-2.0.so.0\n"
         "mutex:libglib-2.0.so.0\n";
}

}  // extern "C"
