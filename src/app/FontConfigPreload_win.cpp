// Qt on Windows takes its fonts from the system's font service, which has no
// configuration to read ahead.
#include "FontConfigPreload.h"

struct FontConfigPreload::Platform {
};

FontConfigPreload::FontConfigPreload() = default;

FontConfigPreload::~FontConfigPreload() = default;

void FontConfigPreload::wait()
{
}
