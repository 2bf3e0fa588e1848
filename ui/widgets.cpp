#include "ui/widgets.h"

#include <cmath>
#include <cstdio>
#include <cstring>

int menu_choice_select(menu_choice* choice, const char* text)
{
    for (int i = 0; i < choice->count; i++)
        if (!strcmp(choice->choices[i], text)) {
            choice->selected = i;
            return 1;
        }
    return 0;
}

const char* menu_choice_text(const menu_choice* choice)
{
    if (choice->selected < 0 || choice->selected >= choice->count) return "";
    return choice->choices[choice->selected];
}

int menu_slider_parse(menu_slider* slider, const char* text)
{
    double v;
    char rest;
    // One number and nothing but blanks after it.
    if (sscanf(text, "%lf %c", &v, &rest) != 1 || !std::isfinite(v)) return 0;
    slider->value = v < slider->min ? slider->min : v > slider->max ? slider->max : v;
    return 1;
}

void menu_text_set(menu_text* field, const char* text)
{
    int n = 0;
    while (n < field->max_length && text[n]) n++;
    memcpy(field->text, text, size_t(n));
    field->text[n] = 0;
    if (field->cursor > n) field->cursor = n;
}
