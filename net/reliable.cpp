#include "net/reliable.h"

#include "ui/console.h"

// Until the network client exists there is never a socket, so every item
// meets the offline answer.
void send_script_message(int kind, const char* text, int32_t length)
{
    (void)kind;
    (void)text;
    (void)length;
    console_print("Not connected to server");
}
