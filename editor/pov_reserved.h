#pragma once
// The scene language's reserved words, which no identifier of an exported
// scene may take.

// 1 when word is one of them (exact, case-sensitive).
int pov_reserved_word(const char* word);
