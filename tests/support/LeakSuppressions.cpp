// Leak checking for the test programs. Fontconfig keeps the pointers
// inside its patterns and character sets as offsets from their owners, so
// the leak checker cannot follow them from the text engine's font map
// (which lives as long as the process) and reports the blocks as lost.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
