// SPDX-License-Identifier: MIT
#pragma once

#include "backend.h"
#include "win32.h"

namespace platform::win32
{

// The system's dialog font (the message-box font) at 9 points.
LOGFONTW windowFontDescription();

struct RealisedFont {
    UniqueFont font;
    double points = 0;
};

// The regular-script faces the window asks for ("楷体", "华文楷体"). Where
// the system has none of a name, the program's own cut of AR PL UKai (a
// resource of the program) is registered for this process alone and that
// name resolves to it; a system face of the name always wins. Called once at
// start; dropCarriedFaces() undoes it.
void carryMissingFaces();
void dropCarriedFaces();
// The face asked for, or the carried face standing in for it.
const wchar_t *resolvedFace(const wchar_t *face);

// The font of `spec` by face and character set, so that the font mapper
// picks a similar font where the face is missing. The size becomes a whole
// pixel height; `points` reports that height in points. An empty face name
// means the window font, its character set included.
RealisedFont createFont(const FontSpec &spec, const LOGFONTW &windowFont);

} // namespace platform::win32
