// Options of the sanitizer runtimes, compiled into every test program so that they hold
// however the program is started (ctest, by hand, under a debugger).

extern "C" {

__attribute__((used, visibility("default"))) const char* __tsan_default_options()
{
    // Debian's Qt is not instrumented: calls it makes into the runtime (its worker threads'
    // memcpy and free among them) are ignored, races between our own threads still reported.
    // Qt starts a program (QProcess) with vfork semantics: the child shares the test's memory,
    // and what the runtime notes there of a fork of a threaded process holds for the test as
    // well, which would then die at the next thread it starts.
    return "ignore_noninstrumented_modules=1:second_deadlock_stack=1:halt_on_error=1:die_after_fork=0";
}

__attribute__((used, visibility("default"))) const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6Test.so.6\n"
           "called_from_lib:libQt6PrintSupport.so.6\n";
}

__attribute__((used, visibility("default"))) const char* __asan_default_options()
{
    // A test may preload a stand-in library into the program ahead of the runtime.
    return "detect_leaks=1:abort_on_error=1:strict_string_checks=1:verify_asan_link_order=0";
}

__attribute__((used, visibility("default"))) const char* __lsan_default_suppressions()
{
    // Caches that Qt's platform plugins and fontconfig keep for the life of the process.
    return "leak:libfontconfig.so\n"
           "leak:libQt6Gui.so\n"
           "leak:libQt6Core.so\n"
           "leak:libQt6Widgets.so\n";
}

__attribute__((used, visibility("default"))) const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

} // extern "C"
