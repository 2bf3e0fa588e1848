#include <cstring>

#include "core/game_state.h"
#include "ui/console.h"

// The commands a session run from the command line needs first; the rest
// of the console's words join here.
int console_command(const char* line)
{
    if (line[0] != '/' && line[0] != '\\') return 0;
    const char* word = line + 1;
    size_t n = strcspn(word, " \t");
    if (n == 4 && !strncmp(word, "quit", 4)) {
        quit_requested = 1;
        return 1;
    }
    if (n == 4 && !strncmp(word, "echo", 4)) {
        const char* rest = word + n;
        while (*rest == ' ' || *rest == '\t') rest++;
        console_print(rest);
        return 1;
    }
    return 0;
}
