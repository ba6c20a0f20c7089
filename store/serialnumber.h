#pragma once

#include <QString>

// The serial that follows the highest stored one: the number the text begins
// with (leading blanks skipped, 0 when it begins with none) plus one, written
// in plain decimal after "000" and cut to its last three characters.
// "001" -> "002", "099" -> "100", "999" -> "000", "ABC" -> "001".
QString nextSerialNumber(const QString& highestStored);
