// The command line: "-h" help, "-l" the settable controls, "-s name value"
// set a control and apply. App::parse_command_line runs it during start-up.
#pragma once

namespace tess {

inline constexpr const char* kHelpText =
    "Available options:\n"
    " -l Get list of available controls\n"
    " -s [Control] [value]\n"
    "All voltages * 1000 -> 1.8 = 1800\n";

inline constexpr const char* kSyntaxText = "The Syntax is: -s [Control] [value]";

}  // namespace tess
