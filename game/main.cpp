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
