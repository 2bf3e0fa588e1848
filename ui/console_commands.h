#pragma once
// The console's commands: "/word arguments" lines typed on the console page
// or queued with "--console-commands" (console_command in ui/console.h runs
// them). The words are tried in a fixed table, each with its match kind.
#include <cstdint>

// How a table word meets the text after the slash.
enum console_match_kind {
    match_exact,   // the whole text is the word
    match_prefix,  // the text begins with the word; arguments follow at once
    match_word,    // after blanks, the word then a blank or the end
};

struct console_command_row {
    const char* word;
    console_match_kind kind;
    void (*run)(const char* arguments);
};
extern const console_command_row console_command_table[];
extern const int console_command_count;

// The row a command text (the line after its slash) matches and its
// arguments; -1 when none does.
int console_command_match(const char* text, const char** arguments);

// Settings only the commands flip.
extern int32_t suspension_graph_shown;  // "togglegraph"

// "namedemo" name handling: the word with ".ztdemo" unless it ends so;
// 0 when the result would not fit ("Name too long").
int demo_name_with_extension(const char* word, char* out, int size);
