#pragma once

// The number at the start of a text, read with atoi's grammar (leading white
// space, one optional sign, digits up to the first non-digit; none gives 0),
// but held at the int range instead of overflowing.
int ParseDecimal(const char *text);
