// What the sanitizers cannot see through in the text engine's libraries.
//
// Leaks: fontconfig keeps the pointers inside its patterns and character
// sets as offsets from their owners, so the leak checker cannot follow them
// from the text engine's font map (which lives as long as the process) and
// reports the blocks as lost.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
// Quiet about it: the list of suppressions used would end every run.
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }

// Races: Pango loads fontconfig and matches fonts on threads of its own and
// hands the results over with GLib's futex-based locks, which the thread
// checker does not intercept; every access it flags starts inside these
// libraries. Our own calls into them are serialised by the engine's mutex.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libfontconfig.so\n"
         "race:libpangoft2-1.0.so\n"
         "race:libpango-1.0.so\n";
}
