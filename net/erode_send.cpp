#include "net/erode_send.h"

#include "terrain/erode.h"

void (*erode_send_online)(const uint8_t* message, int32_t length);

void send_erode_message(const uint8_t* message, int32_t length)
{
    if (erode_send_online)
        erode_send_online(message, length);
    else
        erode_message_receive(message, length);
}
