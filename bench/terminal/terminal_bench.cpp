// tqrunner_tui from a named pipe fed as fast as possible, in tmux at 80x24:
// lines per second, checked through the saved score file (no line lost or
// counted twice), against cat draining the same pipe; and the idle CPU of
// the terminal with the stream open and silent.
//
//   terminal_bench [lines]     (default 200000)
#include "harness.h"
#include "station_libs.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern char **environ;

using namespace tqt;
using clock_type = std::chrono::steady_clock;

namespace {

double seconds_since(clock_type::time_point t0)
{
    return std::chrono::duration<double>(clock_type::now() - t0).count();
}

long cpu_ticks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i)
        fields >> skip;
    long utime = 0, stime = 0;
    fields >> utime >> stime;
    return utime + stime;
}

double idle_percent(pid_t pid, int secs)
{
    long t0 = cpu_ticks(pid);
    auto w0 = clock_type::now();
    sleep(unsigned(secs));
    return 100.0 * double(cpu_ticks(pid) - t0) / double(sysconf(_SC_CLK_TCK)) / seconds_since(w0);
}

// The lines, and the score file the terminal must save after them.
struct workload {
    std::string text;
    std::string scores;
};

workload make_workload(long lines)
{
    workload w;
    w.text.reserve(std::size_t(lines) * 36);
    std::vector<unsigned> counts(std::size_t(16 * tq::TQ_score_numb), 0);
    tq::TQs_analis_reset();
    const char *inputs[] = {"11", "11", "11", "01", "00", "11", "01", "11"};
    char line[64];
    for (long i = 0; i < lines; ++i) {
        unsigned code = unsigned(i % 16) + 1;
        long tick = i / 16;
        const char *input = inputs[(tick / 7 + code) % 8];
        tq::TQs_data d{{std::uint8_t(tick / 3600 % 24), std::uint8_t(tick / 60 % 60), std::uint8_t(tick % 60)},
                       code, tq::abtoi(input, 2)};
        ++counts[std::size_t(int(code - 1) * tq::TQ_score_numb + tq::TQs_data_analis(&d))];
        std::snprintf(line, sizeof line, "%02u:%02u:%02u DATA:\tcode:%u\tinput:%s\n", unsigned(d.time.hour),
                      unsigned(d.time.minute), unsigned(d.time.second), code, input);
        w.text += line;
    }
    w.text += "bench end\n";
    char buf[16];
    w.scores = "\t";
    for (int c = 0; c < tq::TQ_score_numb; ++c) {
        std::snprintf(buf, sizeof buf, "%5u", unsigned(c));
        w.scores += buf;
    }
    w.scores += "\n";
    for (int r = 0; r < 16; ++r) {
        std::snprintf(buf, sizeof buf, "%2u\t", unsigned(r + 1));
        w.scores += buf;
        for (int c = 0; c < tq::TQ_score_numb; ++c) {
            std::snprintf(buf, sizeof buf, "%5u", counts[std::size_t(r * tq::TQ_score_numb + c)]);
            w.scores += buf;
        }
        w.scores += "\n";
    }
    return w;
}

void write_all(int fd, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += std::size_t(n);
    }
}

// Seconds that cat takes to drain text from a named pipe into /dev/null.
double cat_seconds(const std::string &text)
{
    temp_dir d;
    std::string fifo = d.file("p");
    mkfifo(fifo.c_str(), 0600);
    // The pipe gets its writer first: cat's open must not wait inside
    // posix_spawn, which waits for cat in turn.
    int fd = open(fifo.c_str(), O_RDWR);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, fifo.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addclose(&fa, fd);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    char *argv[] = {const_cast<char *>("cat"), nullptr};
    pid_t pid;
    posix_spawnp(&pid, "cat", &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    auto t0 = clock_type::now();
    write_all(fd, text);
    close(fd);
    waitpid(pid, nullptr, 0);
    return seconds_since(t0);
}

}  // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    long lines = argc > 1 ? std::atol(argv[1]) : 200000;
    workload w = make_workload(lines);
    std::printf("terminal_bench: %ld sample lines (%zu bytes)\n", lines, w.text.size());

    terminal_session s;
    s.open_stream();
    s.write("TQrunner vr:bench pid:0\nProclog output:\n");
    if (!s.wait_row(5, "1")) {
        std::printf("the terminal did not start\n");
        return 1;
    }
    pid_t pid = s.pid();
    double idle = idle_percent(pid, 5);
    std::printf("idle CPU, stream open and silent, 5 s: %.2f %% of a core\n", idle);

    long cpu0 = cpu_ticks(pid);
    auto t0 = clock_type::now();
    s.write(w.text);
    double written = seconds_since(t0);
    if (!wait_for([&] { return s.row(16).find("bench end") != std::string::npos; }, 600000)) {
        std::printf("the last line never arrived\n");
        return 1;
    }
    double taken = seconds_since(t0);
    double busy = double(cpu_ticks(pid) - cpu0) / double(sysconf(_SC_CLK_TCK));
    s.close_stream();

    std::string path = s.dir().file("scores.txt");
    s.keys("q");
    s.wait_row(10, "Save scores");
    s.keys(path);
    s.key("Enter");
    wait_for([&] { return read_file(path).size() >= w.scores.size(); });
    bool exact = read_file(path) == w.scores;
    s.keys("x");
    int status = s.wait_status();

    double cat = cat_seconds(w.text);
    double rate = double(lines + 1) / taken;
    double cat_rate = double(lines + 1) / cat;
    std::printf("tqrunner_tui: %.2f s (writer done after %.2f s), %.0f lines/s\n", taken, written, rate);
    std::printf("tqrunner_tui CPU while taking them: %.2f s (%.0f %% of a core)\n", busy,
                100.0 * busy / taken);
    std::printf("cat > /dev/null: %.3f s, %.0f lines/s\n", cat, cat_rate);
    std::printf("ratio tqrunner_tui / cat: %.4f\n", rate / cat_rate);
    std::printf("score file matches the lines sent: %s; exit status %d\n", exact ? "yes" : "NO", status);
    return exact && status == 0 ? 0 : 1;
}
