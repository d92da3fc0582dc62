// A child for the command runner's tests, the same program on every platform: it writes what its
// arguments say, so the tests need no shell or system tool. Commands, in order:
//   fill N HH    one write of N bytes of the hexadecimal value HH to standard output
//   out TEXT     one write of TEXT to standard output (\n and \xHH are escapes)
//   err TEXT     the same to standard error
//   stdin        reads standard input; writes "input" when it gave a byte, "no input" otherwise
//   args ...     writes every further argument followed by '|'
//   sleep MS     writes nothing for MS milliseconds
//   pid          writes its process id and a newline
//   close        closes its standard output and standard error (the run's output ends there)
//   exit N       exits at once with status N
//   sigpipe      writes how SIGPIPE is handled: "default", "ignored" or "caught" ("none" on
//                Windows)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#define getpid _getpid
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace {

std::string unescape(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (p[0] == '\\' && p[1] == 'n') {
            out.push_back('\n');
            ++p;
        } else if (p[0] == '\\' && p[1] == 'x' && p[2] != '\0' && p[3] != '\0') {
            const char hex[3] = {p[2], p[3], 0};
            out.push_back(static_cast<char>(std::strtoul(hex, nullptr, 16)));
            p += 3;
        } else {
            out.push_back(*p);
        }
    }
    return out;
}

void put(std::FILE* stream, const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Bytes as they are: no "\n" to "\r\n" in the pipe.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    for (int i = 1; i < argc; ++i) {
        const std::string command = argv[i];
        if (command == "fill" && i + 2 < argc) {
            const auto count = std::strtoul(argv[i + 1], nullptr, 10);
            const auto value = static_cast<char>(std::strtoul(argv[i + 2], nullptr, 16));
            put(stdout, std::string(count, value));
            i += 2;
        } else if ((command == "out" || command == "err") && i + 1 < argc) {
            put(command == "out" ? stdout : stderr, unescape(argv[++i]));
        } else if (command == "stdin") {
            put(stdout, std::fgetc(stdin) == EOF ? "no input" : "input");
        } else if (command == "sleep" && i + 1 < argc) {
            std::this_thread::sleep_for(
                std::chrono::milliseconds(std::strtoul(argv[++i], nullptr, 10)));
        } else if (command == "pid") {
            put(stdout, std::to_string(getpid()) + "\n");
        } else if (command == "close") {
            std::fclose(stdout);
            std::fclose(stderr);
        } else if (command == "exit" && i + 1 < argc) {
            return static_cast<int>(std::strtol(argv[i + 1], nullptr, 10));
        } else if (command == "sigpipe") {
#ifdef _WIN32
            put(stdout, "none");
#else
            struct sigaction current {};
            sigaction(SIGPIPE, nullptr, &current);
            put(stdout, current.sa_handler == SIG_DFL   ? "default"
                        : current.sa_handler == SIG_IGN ? "ignored"
                                                        : "caught");
#endif
        } else if (command == "args") {
            for (++i; i < argc; ++i)
                put(stdout, std::string(argv[i]) + "|");
        } else {
            std::fprintf(stderr, "runner_child: unknown command %s\n", argv[i]);
            return 2;
        }
    }
    return 0;
}
