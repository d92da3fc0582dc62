// talvrin-image render: the image control in a headless host, painted once into a PNG.
#pragma once

namespace talvrin {

// Runs the render command on its arguments (after the command name); answers the exit status.
int render(int argc, char** argv);

}  // namespace talvrin
