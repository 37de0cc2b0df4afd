// What the sanitizers cannot see through in the libraries the platform
// drives, built into every test program so each way of running one (ctest, by
// hand, a debugger) agrees. Only those libraries are named, so faults in
// frames of our own code are still reported.
//
// Leaks: fontconfig keeps the pointers inside its patterns and character
// sets as offsets from their owners, so the leak checker cannot follow them
// from the text engine's font map (which lives as long as the process) and
// reports the blocks as lost. The web engine's library keeps allocations for
// the life of the process and frees none at exit. GLib drops its quark
// table's earlier block on purpose each time the table grows (readers look
// quarks up without a lock), which GStreamer's many quarks make it do; GLib
// has no frame pointers, so every block it allocates shows as g_malloc
// alone and no narrower rule can tell that one apart.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libWPEWebKit-1.1.so\n"
         "leak:libglib-2.0.so\n";
}
// Quiet about it: the list of suppressions used would end every run.
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }

// Races: Pango loads fontconfig and matches fonts on threads of its own and
// hands the results over with GLib's futex-based locks, which the thread
// checker does not intercept (it then also sees Pango unlock mutexes it
// never saw locked); every access it flags starts inside these libraries.
// Our own calls into them are serialised by the text engine's mutex. The
// web engine's libraries are not instrumented either, and their
// threads synchronise through atomics and futexes the checker cannot see.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libfontconfig.so\n"
         "race:libpangoft2-1.0.so\n"
         "race:libpango-1.0.so\n"
         "mutex:libfontconfig.so\n"
         "mutex:libpangoft2-1.0.so\n"
         "mutex:libpango-1.0.so\n"
         "called_from_lib:libWPEWebKit-1.1.so.0\n"
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
