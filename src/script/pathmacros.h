// The path macros of the setup script ("<Program Files>", "<Destination>",
// ...): names for the folders of the machine and run the install happens on.
#pragma once

#include "core/xstring.h"

// Replaces every macro in `text` by its folder, in place. Reads the install
// settings and the install source; changes neither.
void ExpandMacros(XString& text);
