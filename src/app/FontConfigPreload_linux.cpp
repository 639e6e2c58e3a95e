// Qt on Linux finds its fonts through fontconfig, whose first use reads every
// configuration file and the font caches: about a third of the panel's work
// before its window shows, and all of it before the first text is laid out.
// On a thread of its own the reading overlaps Qt's start (its platform plugin
// loaded, the display connected), on another core or while Qt waits for the
// X server.
#include "FontConfigPreload.h"

#include <fontconfig/fontconfig.h>

#include <clocale>
#include <cstdlib>
#include <thread>

namespace {

// A launcher's token for its start-up notice. Qt takes it out of the
// environment as it connects to the display, and glibc's getenv, which
// fontconfig calls throughout its reading, is not safe against that.
bool launcherTokenPresent()
{
    return std::getenv("DESKTOP_STARTUP_ID") || std::getenv("XDG_ACTIVATION_TOKEN");
}

} // namespace

struct FontConfigPreload::Platform {
    std::thread reader;
};

FontConfigPreload::FontConfigPreload()
    : m_platform(std::make_unique<Platform>())
{
    if (launcherTokenPresent())
        return; // Qt reads the configuration in its turn, as without this.
    // QCoreApplication sets the locale from the environment as it starts. Set
    // here, it no longer changes while fontconfig reads numbers.
    std::setlocale(LC_ALL, "");
    m_platform->reader = std::thread([] { FcInit(); });
}

FontConfigPreload::~FontConfigPreload()
{
    wait();
}

void FontConfigPreload::wait()
{
    if (m_platform->reader.joinable())
        m_platform->reader.join();
}
