// The display and window libraries keep a few allocations for the life of
// the process (D-Bus connections, driver caches, SDL's video state); they are
// not leaks of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\nleak:swrast_dri.so\nleak:libGLX_mesa.so\nleak:libglapi.so\n"
           "leak:libLLVM\nleak:libX11.so\nleak:libSDL2\n";
}
