#pragma once
// Leak checking for sanitized builds, done by main() before it returns rather than
// at exit: by then the GL driver has been unloaded, and its frames in a report
// could neither be named nor suppressed. Run with LSAN_OPTIONS=leak_check_at_exit=0
// (make sanitize does). Without a sanitizer this finds nothing.

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
inline bool leaksFound()
{
    return __lsan_do_recoverable_leak_check() != 0;
}
#else
inline bool leaksFound()
{
    return false;
}
#endif
