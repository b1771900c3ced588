// tqrunner_sim: stand-in for the station runner TQrunner.
//
// It writes the runner's text stream (header with its own pid, start-up
// lines, "Proclog output:\n", event lines with DATA samples of workstations
// 1..16, the end line) and, given a station working directory, appends each
// sample to the current worklog and now and then a record to the error log.
// The caller passes the command line; every status is a small integer and
// becomes the exit status (see runner_sim_usage).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace tq {

struct sim_options {
    std::string out;          // stream path; empty: standard output
    bool out_is_file = false; // --file: a plain file instead of a named pipe
    std::string station_dir;  // empty: no worklog, no error log
    std::string counts;       // --counts FILE; empty: standard error only
    std::uint32_t seed = 1;
    double rate = 1.0;        // samples per second per workstation (real time)
    double speed = 1.0;       // station seconds per real second (real time)
    long duration = 0;        // station seconds; 0: until SIGTERM
    long period = 1;          // station seconds between two samples of one workstation
    bool fast = false;        // no waiting: station time runs as fast as possible
    bool start_given = false;
    std::time_t start = 0;    // station clock at the first sample
    int error_every = 600;    // mean station seconds between error records
};

// Error codes written to the error log.
enum sim_error_code : std::int32_t {
    sim_err_slave_timeout = 1,  // value: slave unit id
    sim_err_crc = 2,            // value: bad frames in a row
    sim_err_input_overrun = 3,  // value: workstation code
};

const char *runner_sim_usage();

// Statuses: 0 done, 1 wrong command line (usage on stderr; --help gives 0
// through *help), 2 stream cannot be opened, 3 station directory files
// cannot be written, 4 the reader of the stream went away.
int parse_sim_options(int argc, char **argv, sim_options &opt, bool &help);
int run_sim(const sim_options &opt);

}  // namespace tq
