// Key names and the mapping from keyboard usages to the event codes of keys
// (0x1000 + PC set-1 scan code, + 0x100 for extended keys).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/vesk_window_record.h"

// The names players see and store in their bindings; the first row of a scan
// code is its display name. Rows after "Keypad ." name keys that have no row
// of their own otherwise.
const vesk_key_row vesk_default_keys[] = {
    {0x01, "Esc"},        {0x0B, "0"},           {0x02, "1"},          {0x03, "2"},
    {0x04, "3"},          {0x05, "4"},           {0x06, "5"},          {0x07, "6"},
    {0x08, "7"},          {0x09, "8"},           {0x0A, "9"},          {0x1E, "A"},
    {0x30, "B"},          {0x2E, "C"},           {0x20, "D"},          {0x12, "E"},
    {0x21, "F"},          {0x22, "G"},           {0x23, "H"},          {0x17, "I"},
    {0x24, "J"},          {0x25, "K"},           {0x26, "L"},          {0x32, "M"},
    {0x31, "N"},          {0x18, "O"},           {0x19, "P"},          {0x10, "Q"},
    {0x13, "R"},          {0x1F, "S"},           {0x14, "T"},          {0x16, "U"},
    {0x2F, "V"},          {0x11, "W"},           {0x2D, "X"},          {0x15, "Y"},
    {0x2C, "Z"},          {0x0C, "-"},           {0x0D, "="},          {0x1A, "["},
    {0x1B, "]"},          {0x27, ";"},           {0x28, "'"},          {0x29, "`"},
    {0x2B, "\\"},         {0x33, ","},           {0x34, "."},          {0x35, "/"},
    {0x0E, "Backspace"},  {0x0F, "Tab"},         {0x1C, "Enter"},      {0x1D, "Left Ctrl"},
    {0x2A, "Left Shift"}, {0x36, "Right Shift"}, {0x39, "Space"},      {0x39, " "},
    {0x3A, "Caps Lock"},  {0x11D, "Right Ctrl"}, {0x152, "Insert"},    {0x153, "Delete"},
    {0x147, "Home"},      {0x14F, "End"},        {0x149, "Page Up"},   {0x151, "Page Down"},
    {0x148, "Up"},        {0x150, "Down"},       {0x14B, "Left"},      {0x14D, "Right"},
    {0x3B, "F1"},         {0x3C, "F2"},          {0x3D, "F3"},         {0x3E, "F4"},
    {0x3F, "F5"},         {0x40, "F6"},          {0x41, "F7"},         {0x42, "F8"},
    {0x43, "F9"},         {0x44, "F10"},         {0x57, "F11"},        {0x58, "F12"},
    {0x45, "Pause"},      {0x145, "Num Lock"},   {0x135, "Keypad /"},  {0x37, "Keypad *"},
    {0x4A, "Keypad -"},   {0x47, "Keypad 7"},    {0x48, "Keypad 8"},   {0x49, "Keypad 9"},
    {0x4E, "Keypad +"},   {0x4B, "Keypad 4"},    {0x4C, "Keypad 5"},   {0x4D, "Keypad 6"},
    {0x4F, "Keypad 1"},   {0x50, "Keypad 2"},    {0x51, "Keypad 3"},   {0x11C, "Keypad Enter"},
    {0x52, "Keypad 0"},   {0x53, "Keypad ."},
    // Keys the table above leaves unnamed.
    {0x38, "Left Alt"},   {0x138, "Right Alt"},  {0x46, "Scroll Lock"}, {0x137, "Print Screen"},
    {0x15B, "Left Windows"}, {0x15C, "Right Windows"}, {0x15D, "Menu"},
};
const int vesk_default_key_count = int(sizeof vesk_default_keys / sizeof vesk_default_keys[0]);

namespace {

// USB HID keyboard usages 0..231 to set-1 scan codes (0: no key).
const uint16_t usage_to_scan[232] = {
    // 0..3: no key
    0, 0, 0, 0,
    // 4..29: A..Z
    0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
    0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C,
    // 30..39: 1..9, 0
    0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B,
    // 40..56: Return, Escape, Backspace, Tab, Space, - = [ ] \ non-US # ; ' ` , . /
    0x1C, 0x01, 0x0E, 0x0F, 0x39, 0x0C, 0x0D, 0x1A, 0x1B, 0x2B, 0x2B, 0x27, 0x28, 0x29, 0x33, 0x34, 0x35,
    // 57: Caps Lock; 58..69: F1..F12
    0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x57, 0x58,
    // 70..78: Print Screen, Scroll Lock, Pause, Insert, Home, Page Up, Delete, End, Page Down
    0x137, 0x46, 0x45, 0x152, 0x147, 0x149, 0x153, 0x14F, 0x151,
    // 79..82: Right, Left, Down, Up
    0x14D, 0x14B, 0x150, 0x148,
    // 83..88: Num Lock, keypad / * - + Enter
    0x145, 0x135, 0x37, 0x4A, 0x4E, 0x11C,
    // 89..99: keypad 1..9, 0, .
    0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49, 0x52, 0x53,
    // 100, 101: non-US \, Application (Menu)
    0x56, 0x15D,
    // 102..223: no set-1 code here
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 224..231: left Ctrl Shift Alt GUI, right Ctrl Shift Alt GUI
    0x1D, 0x2A, 0x38, 0x15B, 0x11D, 0x36, 0x138, 0x15C,
};
static_assert(sizeof usage_to_scan / sizeof usage_to_scan[0] == 232);

struct special_name {
    uint32_t code;
    const char* name;
};
const special_name special_names[] = {
    {vesk_code_close, "Close"},
    {vesk_code_mouse_left, "Mouse Left"},
    {vesk_code_mouse_middle, "Mouse Middle"},
    {vesk_code_mouse_right, "Mouse Right"},
};

using compare_fn = int (*)(const char*, const char*);

int find_name(const char* name, compare_fn compare, uint32_t* code)
{
    for (const special_name& s : special_names) {
        if (compare(name, s.name) == 0) {
            *code = s.code;
            return 1;
        }
    }
    // The system's own key names would come here; this back end has none, so
    // every key is named from the default table.
    for (int i = 0; i < vesk_default_key_count; i++) {
        if (compare(name, vesk_default_keys[i].name) == 0) {
            *code = vesk_code_key + vesk_default_keys[i].scan;
            return 1;
        }
    }
    return 0;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "0x" and at least one hex digit, nothing after them, at most 0x1FF.
int parse_hex_key(const char* name, uint32_t* code)
{
    if (name[0] != '0' || (name[1] != 'x' && name[1] != 'X')) return 0;
    const char* p = name + 2;
    if (!*p) return 0;
    uint32_t value = 0;
    for (; *p; p++) {
        int d = hex_digit(*p);
        if (d < 0) return 0;
        value = value * 16 + uint32_t(d);
        if (value > 0x1FF) return 0;
    }
    *code = vesk_code_key + value;
    return 1;
}

// A decimal 0..255 filling the rest of text up to end (end null: to the end).
int parse_button_number(const char* text, const char* end, int* n)
{
    if (!end) end = text + strlen(text);
    if (text == end || end - text > 3) return 0;
    int value = 0;
    for (const char* p = text; p < end; p++) {
        if (*p < '0' || *p > '9') return 0;
        value = value * 10 + (*p - '0');
    }
    if (value > 255) return 0;
    *n = value;
    return 1;
}

}  // namespace

uint32_t vesk_key_code_for_usage(int usage)
{
    if (usage < 0 || usage >= 232 || !usage_to_scan[usage]) return 0;
    return vesk_code_key + usage_to_scan[usage];
}

// Splits "<device>.<kind>[<n>]" or "<device> <kind> <n>" into the device name
// (at most 63 characters) and n; shared by buttons ("key", "button") and axes.
int vesk_parse_device_item(const char* name, const char* dotted_kind, const char* spaced_kind, char* device,
                           int* n)
{
    // Device names may hold "." themselves ("Gizmo Inc. Pad 2.1"), so the last
    // ".<kind>[" splits the name.
    char dotted[32];
    snprintf(dotted, sizeof dotted, ".%s[", dotted_kind);
    const char* dot = nullptr;
    for (const char* p = strstr(name, dotted); p; p = strstr(p + 1, dotted)) dot = p;
    if (dot) {
        size_t length = size_t(dot - name);
        const char* number = dot + strlen(dotted);
        const char* close = strchr(number, ']');
        if (length == 0 || length > vesk_device_name_max || !close || close[1]) return 0;
        if (!parse_button_number(number, close, n)) return 0;
        memcpy(device, name, length);
        device[length] = 0;
        return 1;
    }
    // "<device> <kind> <n>": the last occurrence of " <kind> " splits it, so
    // device names may hold blanks.
    char pattern[32];
    snprintf(pattern, sizeof pattern, " %s ", spaced_kind);
    const char* split = nullptr;
    for (const char* p = strstr(name, pattern); p; p = strstr(p + 1, pattern)) split = p;
    if (!split) return 0;
    size_t length = size_t(split - name);
    if (length == 0 || length > vesk_device_name_max) return 0;
    if (!parse_button_number(split + strlen(pattern), nullptr, n)) return 0;
    memcpy(device, name, length);
    device[length] = 0;
    return 1;
}

int vesk_key_by_name(vesk_window* window, uint32_t* code, const char* name)
{
    if (!name) return 0;
    name = vesk_alias_lookup(name);
    if (find_name(name, [](const char* a, const char* b) { return strcmp(a, b); }, code)) return 1;
    if (find_name(name, vesk_name_compare, code)) return 1;
    if (parse_hex_key(name, code)) return 1;
    char device_name[vesk_device_name_max + 1];
    int n;
    if (!window) return 0;
    if (!vesk_parse_device_item(name, "key", "button", device_name, &n)) return 0;
    vesk_device* device = vesk_device_by_name(window, device_name);
    if (!device || n >= device->button_count) return 0;
    if (!vesk_device_start_polling(device)) return 0;
    *code = device->id | uint32_t(n);
    return 1;
}

const char* vesk_key_name(vesk_window* window, uint32_t code)
{
    for (const special_name& s : special_names) {
        if (s.code == code) return vesk_intern(s.name);
    }
    char text[1100];
    if (code < vesk_code_key || code > vesk_code_key + 0x1FF) {
        vesk_device* device = window ? vesk_device_by_id(window, code & 0xFFFF0000u) : nullptr;
        if (!device) return nullptr;
        snprintf(text, sizeof text, "%.1000s button %d", device->name, int(code & 0xFF));
        return vesk_intern(text);
    }
    uint32_t scan = code - vesk_code_key;
    for (int i = 0; i < vesk_default_key_count; i++) {
        if (vesk_default_keys[i].scan == scan) return vesk_intern(vesk_default_keys[i].name);
    }
    snprintf(text, sizeof text, "0x%x", scan);
    return vesk_intern(text);
}
