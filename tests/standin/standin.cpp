// A stand-in for dfu-util that does what a script says, for what the real
// tool cannot be made to do on demand. The script is the file named in
// RAVLO_STANDIN_SCRIPT; when the only argument is "-l" and
// RAVLO_STANDIN_LIST_SCRIPT is set, that file instead, so one stand-in can
// answer both the device scan and the flash of a run. One command per line, run in order; empty
// lines and lines starting with '#' are skipped. TEXT and PATH are the rest of the line after one
// space, written with the escapes of escape.h.
//
//   out TEXT               write TEXT to standard output in one write
//   err TEXT               the same on standard error
//   replay BYTES MS PATH   copy a file to standard output in writes of BYTES
//                          bytes, MS milliseconds apart
//   sleep MS               wait MS milliseconds
//   record PATH            write the working directory ("cwd TEXT") and then
//                          each argument ("arg TEXT") to PATH, one a line
//   exit CODE              end with this exit code (0 when the script ends)
//   signal NAME            die by a signal: SEGV, ABRT, BUS, FPE, ILL, KILL, TERM
//   hang                   wait until killed
//
// A script that cannot be read or run ends the stand-in with exit code 120 and
// a message on standard error.

#include "escape.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kScriptError = 120;

struct Invocation
{
    int argc;
    char **argv;
};

bool writeAll(int fd, const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR)
            return false;
        done += n > 0 ? static_cast<size_t>(n) : 0;
    }
    return true;
}

[[noreturn]] void scriptError(size_t line, const std::string &message)
{
    const std::string text = "standin: script line " + std::to_string(line) + ": " + message + "\n";
    writeAll(STDERR_FILENO, text);
    std::exit(kScriptError);
}

void sleepMs(long ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

[[noreturn]] void dieBy(int signal)
{
    // No core file, and nothing in the way of the default action.
    const rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(kScriptError + 1); // only if the signal did not kill
}

int signalByName(const std::string &name)
{
    static const std::pair<const char *, int> signals[] = {
        {"SEGV", SIGSEGV}, {"ABRT", SIGABRT}, {"BUS", SIGBUS},   {"FPE", SIGFPE},
        {"ILL", SIGILL},   {"KILL", SIGKILL}, {"TERM", SIGTERM},
    };
    for (const auto &known : signals) {
        if (name == known.first)
            return known.second;
    }
    return 0;
}

std::string readFile(const std::string &path, bool &ok)
{
    std::ifstream file(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ok = !file.bad() && file.is_open();
    return bytes;
}

void replay(const std::string &bytes, long chunk, long delayMs)
{
    for (size_t offset = 0; offset < bytes.size(); offset += static_cast<size_t>(chunk)) {
        if (offset > 0)
            sleepMs(delayMs);
        writeAll(STDOUT_FILENO, bytes.substr(offset, static_cast<size_t>(chunk)));
    }
}

bool record(const std::string &path, const Invocation &invocation)
{
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        return false;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << "cwd " << standin::escape(cwd) << '\n';
    for (int i = 1; i < invocation.argc; ++i)
        file << "arg " << standin::escape(invocation.argv[i]) << '\n';
    return static_cast<bool>(file.flush());
}

long number(const std::string &word, size_t line)
{
    char *end = nullptr;
    const long value = std::strtol(word.c_str(), &end, 10);
    if (word.empty() || *end != '\0' || value < 0)
        scriptError(line, "not a number: " + word);
    return value;
}

// Runs one command; returns when the script goes on.
void run(const std::string &command, const std::string &argument, size_t line,
         const Invocation &invocation)
{
    std::string text;
    if (!standin::unescape(argument, text))
        scriptError(line, "bad escape");
    if (command == "out" || command == "err") {
        writeAll(command == "out" ? STDOUT_FILENO : STDERR_FILENO, text);
    } else if (command == "replay") {
        std::istringstream words(text);
        std::string chunk, delay, path;
        words >> chunk >> delay;
        std::getline(words >> std::ws, path);
        const long chunkBytes = number(chunk, line);
        bool ok = false;
        const std::string bytes = readFile(path, ok);
        if (!ok || chunkBytes == 0)
            scriptError(line, "cannot replay " + path);
        replay(bytes, chunkBytes, number(delay, line));
    } else if (command == "sleep") {
        sleepMs(number(argument, line));
    } else if (command == "record") {
        if (!record(text, invocation))
            scriptError(line, "cannot record to " + argument);
    } else if (command == "exit") {
        std::exit(static_cast<int>(number(argument, line)));
    } else if (command == "signal") {
        const int signal = signalByName(argument);
        if (!signal)
            scriptError(line, "unknown signal " + argument);
        dieBy(signal);
    } else if (command == "hang") {
        for (;;)
            pause();
    } else {
        scriptError(line, "unknown command " + command);
    }
}

} // namespace

int main(int argc, char **argv)
{
    const char *listScript = std::getenv("RAVLO_STANDIN_LIST_SCRIPT");
    const bool listing = argc == 2 && std::string(argv[1]) == "-l";
    const char *scriptPath =
        listing && listScript ? listScript : std::getenv("RAVLO_STANDIN_SCRIPT");
    if (!scriptPath)
        scriptError(0, "RAVLO_STANDIN_SCRIPT is not set");
    std::ifstream script(scriptPath, std::ios::binary);
    if (!script)
        scriptError(0, std::string("cannot read ") + scriptPath);
    const Invocation invocation{argc, argv};
    std::string line;
    for (size_t lineNumber = 1; std::getline(script, line); ++lineNumber) {
        if (line.empty() || line[0] == '#')
            continue;
        const size_t space = line.find(' ');
        run(line.substr(0, space), space == std::string::npos ? "" : line.substr(space + 1),
            lineNumber, invocation);
    }
    return 0;
}
