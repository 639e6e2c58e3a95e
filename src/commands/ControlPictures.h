#pragma once

#include <QString>

// How the line's control characters are shown to the operator: drawn as their
// Unicode control pictures, read out by name.

// The text with every C0 control character and DEL replaced by its control picture
// (STX as U+2402, CR as U+240D).
QString withControlPictures(const QString &text);

// The text with every C0 control character and DEL spelled as its name, set off by
// blanks: "\x02B31\r" reads "STX B31 CR".
QString withControlNames(const QString &text);
