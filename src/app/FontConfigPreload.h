#pragma once

#include <memory>

// Reads the system's font configuration on a thread of its own while the
// QApplication is made and connects to the display, instead of on the way to
// the window when the first text is laid out. Make one just before the
// QApplication and wait() before the first widget; Qt then finds the
// configuration read. Where the platform has nothing to read ahead
// (FontConfigPreload_*.cpp), it does nothing.
class FontConfigPreload
{
public:
    FontConfigPreload();
    // Waits, as wait() does.
    ~FontConfigPreload();
    FontConfigPreload(const FontConfigPreload &) = delete;
    FontConfigPreload &operator=(const FontConfigPreload &) = delete;

    void wait();

private:
    struct Platform;
    std::unique_ptr<Platform> m_platform;
};
