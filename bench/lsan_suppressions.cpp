// Built into the benchmark programs: leaks LeakSanitizer must not report in
// a sanitizer build. Allocations that system libraries keep for the life of
// the process and never free: fontconfig's caches behind Qt's font database
// and D-Bus's connection data of Qt's X11 platform.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}
