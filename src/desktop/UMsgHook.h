#pragma once

#include "desktop/UWMMsg.h"

#include <functional>

// The message hook with its event: the handler sees every message of the hooked
// widget first; clearing HandleOriginal keeps the message from the widget.
class TMessageHook : public TMessageHookBasic {
    Q_OBJECT
public:
    using TOnMessageEvent =
        std::function<void(TMessageHook* Sender, bool& HandleOriginal, TMessage& Message)>;

    using TMessageHookBasic::TMessageHookBasic;

    TOnMessageEvent OnMessage;

protected:
    void DoMessage(bool& passOn, TMessage& message) override;
};
