// The whole road: tqrunner_sim writes worklogs and an error log at a
// station, tqwl2dir ships them in two transfers, tqwl2db imports both into
// the private server, and the database holds exactly what the runner wrote.
#include "../shipping/fs_helpers.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace tqtest;

namespace {

const std::string bin = TQ_BIN_DIR;
const std::string db_dir = TQ_TEST_DB_DIR;
const std::string tqdb_local = std::string(TQ_SOURCE_DIR) + "/tools/tqdb-local";

// "code count" lines into a table indexed by workstation code.
std::map<int, long> read_counts(const std::string &text)
{
    std::map<int, long> m;
    std::istringstream in(text);
    int code;
    long n;
    while (in >> code >> n)
        m[code] += n;
    return m;
}

TEST(WholeRoad, RunnerShippingImportDatabase)
{
    ASSERT_EQ(run("/", {tqdb_local, "reset", db_dir}).status, 0);
    temp_dir root("tqroad");
    fs::path st = root / "station", mg = root / "manage";
    fs::create_directories(st);
    fs::create_directories(mg);
    write_file(st / "pre-trans.sh", "exit 0\n");
    write_file(st / "post-trans.sh", "exit 0\n");
    fs::copy_file(fs::path(db_dir) / "tqdb.ini", mg / "tqdb.ini");
    write_file(mg / "tqwl2db.ini", "[main]\ntrans_dir = " + (root / "trans1").string() + "\n");

    std::map<int, long> written;
    std::vector<std::string> shipped;
    std::size_t error_records = 0;
    const char *starts[] = {"2026-01-05 06:00:00", "2026-01-06 22:00:00"};
    for (int day = 0; day < 2; ++day) {
        fs::path counts = root / ("counts" + std::to_string(day));
        run_result r = run(st, {bin + "/tqrunner_sim", "--station-dir", st.string(), "--fast", "--duration", "600",
                                "--start", starts[day], "--seed", std::to_string(day + 1), "--error-every", "60",
                                "--counts", counts.string(), "--file", "/dev/null"});
        ASSERT_EQ(r.status, 0) << r.err;
        for (auto [code, n] : read_counts(read_file(counts).value_or("")))
            written[code] += n;
        std::string list = read_file(st / "wl.set").value_or("");
        ASSERT_EQ(list.size(), 11u) << list;
        shipped.push_back(list.substr(0, 10));
        error_records += fs::file_size(st / "error.log") / 12;

        fs::path tr = root / ("trans" + std::to_string(day + 1));
        fs::create_directories(tr);
        ASSERT_EQ(run(st, {bin + "/tqwl2dir", tr.string()}).status, 0);
    }
    EXPECT_EQ(written.size(), 16u);
    EXPECT_GT(error_records, 0u);

    std::string printed;
    for (std::vector<std::string> args : {std::vector<std::string>{"0", "3"}, {"0", "3", (root / "trans2").string()}}) {
        args.insert(args.begin(), bin + "/tqwl2db");
        run_result r = run(mg, args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        printed += r.out;
    }
    // The names, then per transfer "---" and one line per error record.
    std::istringstream lines(printed);
    std::string line;
    std::vector<std::string> names;
    std::size_t error_lines = 0;
    while (std::getline(lines, line))
        if (line.size() == 10 && line.find(' ') == std::string::npos)
            names.push_back(line);
        else if (line != "---")
            ++error_lines;
    EXPECT_EQ(names, shipped);
    EXPECT_EQ(error_lines, error_records);

    run_result q = run("/", {tqdb_local, "client", db_dir, "-N", "-B", "-e",
                             "SELECT workstation, COUNT(*) FROM samples WHERE production_group = 3 "
                             "GROUP BY workstation ORDER BY workstation"});
    ASSERT_EQ(q.status, 0) << q.err;
    EXPECT_EQ(read_counts(q.out), written);
    EXPECT_EQ(run("/", {tqdb_local, "client", db_dir, "-N", "-B", "-e", "SELECT COUNT(*) FROM worklogs"}).out, "2\n");
}

}  // namespace
