// While the application object is made, the toolkit's messages are held back: when no display can
// be opened the toolkit ends the program with a long fatal message (and an abort), which the
// program replaces with its own words through noDisplay, given why no display could be opened as
// far as the environment tells; noDisplay does not return. When a display opens, the held
// messages go on to the previous handler as usual.
#pragma once

#include <string>

namespace talvrin::platform::qt {

using NoDisplayHandler = void (*)(const std::string& problem);

// Starts holding; the handler ends the program.
void holdStartupMessages(NoDisplayHandler noDisplay);
// Stops holding and hands on what was held, in order.
void releaseStartupMessages();

}  // namespace talvrin::platform::qt
