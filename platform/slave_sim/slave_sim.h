// tqslave_sim: a Modbus TCP slave holding the 16 input bits of a station's
// data acquisition slave, laid out as docs/formats.md states (discrete inputs
// 0..15, sample counter in input register 0). It samples its inputs every
// period, advancing the counter, until SIGTERM or SIGINT.
#pragma once

#include <cstdint>
#include <string>

struct slave_sim_options {
    std::string address = "127.0.0.1";  // IPv4 address to listen on
    int port = 1502;                    // 0: any free port (see port_file)
    int unit = 1;                       // the only unit id answered
    int period_ms = 1000;               // time between two samples
    std::uint32_t seed = 1;             // of the inputs' pseudo-random walk
    bool fixed = false;                 // inputs always fixed_value
    std::uint16_t fixed_value = 0;
    bool stall = false;                 // one sample at start, then none
    std::string port_file;              // where to write the port listened on
};

// Fills opts from the command line. 0: run; 1: bad command line (message on
// standard error); -1: help printed, nothing to run.
int slave_sim_parse(int argc, char **argv, slave_sim_options &opts);

// Serves until SIGTERM or SIGINT: 0 on that clean end, 2 when the server
// could not start.
int slave_sim_run(const slave_sim_options &opts);

// The whole program: parse, then run.
int slave_sim_main(int argc, char **argv);
