// What a host program asks of Windows about itself: where it lives and how
// its locale writes numbers.
#pragma once

#include <string>

// The folder of the running program, with a trailing backslash.
std::string ExeFolder();
// The decimal separator of the calling thread's locale.
char DecimalSeparator();
