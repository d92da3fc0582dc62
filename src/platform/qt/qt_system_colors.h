// The desktop's colours for the image code: the system colours that have a counterpart in the
// application's palette (window, its text, button face and text, highlight ...), read from the
// palette of the running application.
#pragma once

namespace talvrin::platform::qt {

void installQtSystemColors();

}  // namespace talvrin::platform::qt
