// Starts a program the way some launchers and terminals do: a console program
// hands it its own console's handles (STARTF_USESTDHANDLES, inherited), waits
// for it and ends with its status.
//   start_with_console PROGRAM [ARGUMENT...]
#include <windows.h>

#include <string>

int main(int argc, char *argv[])
{
    std::string commandLine;
    for (int i = 1; i < argc; ++i)
        commandLine += (i > 1 ? " \"" : "\"") + std::string(argv[i]) + '"';
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const auto console = [&inherited](const char *name) {
        return ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherited, OPEN_EXISTING, 0, nullptr);
    };
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = console("CONIN$");
    startup.hStdOutput = startup.hStdError = console("CONOUT$");
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &process))
        return 127;
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    ::GetExitCodeProcess(process.hProcess, &status);
    return static_cast<int>(status);
}
