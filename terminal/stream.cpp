#include "stream.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace tq {

const char *const proclog_marker = "Proclog output:\n";
const char *const end_line = "TQrunner zakonczyl prace\n";

namespace {

struct file_closer {
    void operator()(std::FILE *f) const { std::fclose(f); }
};

constexpr int type_size = 24;   // 23 characters
constexpr int input_size = 32;  // 31 characters

}  // namespace

pid_t header_pid(const char *header)
{
    char version[line_size];
    int at = -1;
    if (std::sscanf(header, "TQrunner vr:%99s pid:%n", version, &at) != 1 || at < 0)
        return 0;
    // The number as %u reads it, minus the signs %u would take.
    const char *p = header + at;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (!std::isdigit(static_cast<unsigned char>(*p)))
        return 0;
    errno = 0;
    unsigned long pid = std::strtoul(p, nullptr, 10);
    if (errno != 0 || pid == 0 || pid > static_cast<unsigned long>(INT_MAX))
        return 0;
    return static_cast<pid_t>(pid);
}

char *save_start(char path[start_path_size], std::FILE *stream)
{
    std::unique_ptr<std::FILE, file_closer> copy;
    std::snprintf(path, start_path_size, "/tmp/tqrXXXXXX");
    int fd = mkstemp(path);
    if (fd >= 0) {
        copy.reset(fdopen(fd, "w"));
        if (!copy)
            close(fd);
    } else {
        path[0] = '\0';
    }

    char line[line_size];
    while (std::fgets(line, sizeof line, stream) != nullptr) {
        if (std::strcmp(line, proclog_marker) == 0)
            return path;
        if (copy)
            std::fputs(line, copy.get());
        if (std::strcmp(line, end_line) == 0)
            return nullptr;
    }
    return nullptr;
}

const TQs_data *get_data(const char *line)
{
    static TQs_data sample;
    unsigned hour = 0, minute = 0, second = 0, code = 0;
    char type[type_size];
    char input[input_size];
    int after_input = -1;
    int fields = std::sscanf(line, "%u:%u:%u %23s\tcode:%u\tinput:%31s%n", &hour, &minute,
                             &second, type, &code, input, &after_input);
    if (fields < 6)
        return nullptr;
    // A word cut at its room's limit leaves non-blank text right after it.
    if (after_input >= 0 && line[after_input] != '\0' &&
        !std::isspace(static_cast<unsigned char>(line[after_input])))
        return nullptr;
    if (std::strcmp(type, "DATA:") != 0)
        return nullptr;
    sample.time.hour = static_cast<std::uint8_t>(hour);
    sample.time.minute = static_cast<std::uint8_t>(minute);
    sample.time.second = static_cast<std::uint8_t>(second);
    sample.code = code;
    sample.input = abtoi(input, static_cast<int>(std::strlen(input)));
    return &sample;
}

}  // namespace tq
