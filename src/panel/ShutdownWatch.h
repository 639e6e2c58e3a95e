#pragma once

#include <memory>

class TQ905Panel;

// Ends the program the way the window's close control does (unload, port
// closed, exit code 0) when it is asked to end from outside the window; how it
// is asked is the platform's (ShutdownWatch_*.cpp). One per program; create it
// after the panel.
class ShutdownWatch
{
public:
    explicit ShutdownWatch(TQ905Panel &panel);
    ~ShutdownWatch();
    ShutdownWatch(const ShutdownWatch &) = delete;
    ShutdownWatch &operator=(const ShutdownWatch &) = delete;

private:
    struct Platform;
    std::unique_ptr<Platform> m_platform;
};
