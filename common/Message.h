// The one door for messages the user must see. A front end installs a sink
// (a modal box on screen, standard error in batch mode, a capture in tests);
// the sink returns only once the user has dismissed the message.
#pragma once
#include <functional>

namespace undelete {

using MessageSink = std::function<void(const char* text)>;

// Installs the sink and returns the previous one.
MessageSink installMessageSink(MessageSink sink);

// Shows `text` through the installed sink; blocks the calling thread until
// the sink returns.
void showMessage(const char* text);

}  // namespace undelete
