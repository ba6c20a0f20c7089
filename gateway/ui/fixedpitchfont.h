#pragma once

#include <QFont>

// A font in which every character advances by the same width, for text laid
// out in fixed columns such as a MIR file. The system's fixed font when its
// glyphs measure so (a font that calls itself fixed pitch may not say so
// through every font database, and a fallback may not be); otherwise the
// first family the font database offers whose glyphs do.
QFont fixedPitchFont();

// Whether "i", "W" and "0" advance by the same width in the font.
bool advancesEqually(const QFont& font);
