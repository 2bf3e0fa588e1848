// The game's entry point.
#include <cstdio>

#include "game/version.h"

int main(int argc, char** argv)
{
    (void)argc;
    (void)argv;
    printf("Zentrik %s\n", zentrik_version);
    return 0;
}
