#pragma once
// Leak checking for sanitized builds, done by main() once Qt and the web engine's
// threads are gone (the check stops the world, and live engine threads could
// crash its tracer) but before exit, when the GL driver would have been unloaded
// and its frames in a report could neither be named nor suppressed. Run with
// LSAN_OPTIONS=leak_check_at_exit=0 (make sanitize does). Without a sanitizer
// both do nothing.

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <link.h>
#include <sanitizer/lsan_interface.h>

// Keeps every library loaded so far in memory for the rest of the process.
inline void keepLibrariesLoaded()
{
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
            if (info->dlpi_name && *info->dlpi_name)
                dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}
inline bool leaksFound()
{
    return __lsan_do_recoverable_leak_check() != 0;
}
#else
inline void keepLibrariesLoaded() {}
inline bool leaksFound()
{
    return false;
}
#endif
