// Numbers read from the front of a command-line text, as atoi and atof read them (the
// longest leading decimal prefix, 0 when there is none), without their undefined cases.
#pragma once

// The leading integer, clamped to the int range (atoi's result is undefined beyond it).
int leadingInt(const char* text);

// A leading decimal truncated toward zero to an int; values beyond the int range and
// "nan" count as 1, so that a flag given that way still reads as set.
int leadingDecimalAsInt(const char* text);

// The whole text (blanks around it allowed) as an int: false for an empty text, trailing
// characters ("1abc"), a fraction, "nan" or a value beyond the int range.
bool wholeInt(const char* text, int* value);

// The whole text (blanks around it allowed) as a finite decimal: false otherwise.
bool wholeFiniteDouble(const char* text, double* value);
