// Built into every test executable: leaks LeakSanitizer must not report in
// the sanitizer build. Allocations that system libraries keep for the life
// of the process and never free: fontconfig's caches behind Qt's font
// database. Compiled in (not passed by environment), so a test binary run
// by hand is judged the same as under ctest.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
