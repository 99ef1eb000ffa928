#pragma once

namespace platform
{

// Maps the Chinese regular-script family names the program asks for onto an
// installed font and sets the default user-interface font. Idempotent.
void installFonts();

} // namespace platform
