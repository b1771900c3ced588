// Ships a station whose worklogs hold MB megabytes in all (default 1024, in
// 16 worklogs) and compares tqwl2dir's wall time with `cp` plus `md5sum` of
// the same files, measured in the same run (best of ROUNDS, default 3).
//
//   tqwl2dir_bench [MB] [ROUNDS]
//
// The worklogs stay in the page cache for both, so the figure is the cost of
// the program itself: two reads and one write per byte, as for the baseline.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string bin = TQ_BIN_DIR;

double run(const fs::path &cwd, const std::vector<std::string> &argv)
{
    std::fflush(nullptr);
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(cwd.c_str()) != 0 || !std::freopen("/dev/null", "w", stdout))
            ::_exit(126);
        std::vector<char *> args;
        for (const auto &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int ws;
    ::waitpid(pid, &ws, 0);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!WIFEXITED(ws) || WEXITSTATUS(ws) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0].c_str());
        std::exit(1);
    }
    return s;
}

}  // namespace

int main(int argc, char **argv)
{
    const long mb = argc > 1 ? std::atol(argv[1]) : 1024;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const int files = 16;
    char tmpl[] = "/tmp/tqwl2dir-bench-XXXXXX";
    if (!::mkdtemp(tmpl))
        return 1;
    const fs::path root = tmpl, st = root / "station", tr = root / "trans", plain = root / "plain";
    fs::create_directories(st / "worklogs");
    std::ofstream(st / "pre-trans.sh") << "exit 0\n";
    std::ofstream(st / "post-trans.sh") << "exit 0\n";

    // Worklog records: time of day, workstation 1..16, input bits.
    std::vector<char> block(12 << 16);
    unsigned x = 12345;
    for (std::size_t i = 0; i < block.size(); i += 12) {
        x = x * 1103515245u + 12345u;
        block[i] = char((i / 12 / 3600) % 24);
        block[i + 1] = char((i / 12 / 60) % 60);
        block[i + 2] = char(i / 12 % 60);
        block[i + 4] = char(1 + x % 16);
        block[i + 8] = char(x >> 20 & 3);
    }
    const long long per_file = mb * (1LL << 20) / files;
    std::string list;
    std::vector<std::string> sources;
    for (int f = 0; f < files; ++f) {
        std::string name = std::to_string(1767571200 + f * 3600);
        list += name + "\n";
        sources.push_back((st / "worklogs" / (name + ".wl")).string());
        std::ofstream out(sources.back(), std::ios::binary);
        for (long long left = per_file; left > 0; left -= long(block.size())) {
            block[3] = char(f);  // files differ
            out.write(block.data(), std::streamsize(std::min<long long>(left, long(block.size()))));
        }
    }
    // Warm the page cache once for both.
    std::vector<std::string> sum{"md5sum", "--"};
    sum.insert(sum.end(), sources.begin(), sources.end());
    run(root, sum);

    double best_base = 1e9, best_ship = 1e9;
    for (int r = 0; r < rounds; ++r) {
        fs::remove_all(plain);
        fs::create_directories(plain);
        std::vector<std::string> cp{"cp", "--"};
        cp.insert(cp.end(), sources.begin(), sources.end());
        cp.push_back(plain.string());
        double base = run(root, cp) + run(root, sum);

        fs::remove_all(tr);
        fs::create_directories(tr);
        std::ofstream(st / "wl.set") << list;
        double ship = run(st, {bin + "/tqwl2dir", tr.string()});
        std::ifstream shipped(tr / "wl.set");
        std::string got((std::istreambuf_iterator<char>(shipped)), std::istreambuf_iterator<char>());
        if (got != list) {
            std::fprintf(stderr, "the transfer list lacks worklogs\n");
            return 1;
        }
        std::printf("round %d: cp+md5sum %.3f s, tqwl2dir %.3f s\n", r + 1, base, ship);
        best_base = std::min(best_base, base);
        best_ship = std::min(best_ship, ship);
    }
    double total_mb = double(per_file * files) / (1 << 20);
    std::printf("worklogs: %d files, %.0f MB in all\n", files, total_mb);
    std::printf("cp + md5sum: %.3f s (%.0f MB/s)\n", best_base, total_mb / best_base);
    std::printf("tqwl2dir:    %.3f s (%.0f MB/s)\n", best_ship, total_mb / best_ship);
    std::printf("ratio tqwl2dir / (cp + md5sum): %.2f (target at most 1.30) %s\n", best_ship / best_base,
                best_ship / best_base <= 1.3 ? "OK" : "MISSED");
    fs::remove_all(root);
    return 0;
}
