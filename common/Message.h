// Where messages the user must see go: a modal box on screen, standard
// error in batch mode, a capture in tests. The sink returns only once the
// user has dismissed the message. Every part that shows messages is handed
// its sink when it is made.
#pragma once
#include <functional>

namespace undelete {

using MessageSink = std::function<void(const char* text)>;

}  // namespace undelete
