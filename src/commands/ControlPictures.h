#pragma once

#include <QString>

// How characters that draw nothing of their own are shown to the operator:
// control characters drawn as their Unicode control pictures and read out by
// name, the others (C1 controls, format characters such as the soft hyphen and
// the bidi marks, line and paragraph separators) made visible by their code.

// True for a character that has no control picture and draws nothing visible of
// its own, or changes the layout of the text around it.
bool isInvisible(char32_t c);

// The text with every C0 control character and DEL replaced by its control picture
// (STX as U+2402, CR as U+240D).
QString withControlPictures(const QString &text);

// The text with every control character of Latin-1 and the soft hyphen spelled
// as its name, set off by blanks: "\x02B31\r" reads "STX B31 CR", "\x9B" "CSI".
QString withControlNames(const QString &text);

// Typed text as a message quotes it: control characters as their pictures, the
// other invisible characters as their code ("<U+202E>"), the whole set apart
// from the message's own words by a bidi isolate, so that nothing typed can turn
// or break the sentence around it.
QString quotedText(const QString &text);

// Text as one line for a terminal or a log: control characters and the other
// invisible characters as \xNN or \uNNNN, so that nothing in it can move the
// cursor, start an escape sequence, turn the text around or break the line.
QString terminalText(const QString &text);
