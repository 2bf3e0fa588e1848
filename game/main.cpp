// The game's entry point.
#include <xmmintrin.h>

#include "game/startup.h"

int main(int argc, char** argv)
{
    // Flush-to-zero and denormals-are-zero: denormal floats in the physics
    // and mixing would cost hundreds of cycles each and change nothing seen.
    _mm_setcsr(_mm_getcsr() | 0x8040);
    return game_main(argc, argv);
}

// Read only by the leak checker of sanitizer builds: the GL driver, the X
// and desktop-bus libraries and SDL keep a few blocks for the life of the
// process; they are theirs, not leaks of the game.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\nleak:swrast_dri.so\nleak:libGLX_mesa.so\nleak:libglapi.so\n"
           "leak:libLLVM\nleak:libX11.so\nleak:libSDL2\n";
}
