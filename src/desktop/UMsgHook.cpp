#include "desktop/UMsgHook.h"

void TMessageHook::DoMessage(bool& passOn, TMessage& message) {
    if (OnMessage)
        OnMessage(this, passOn, message);
}
