// libtqwork: station hardware and the data acquisition slave over Modbus.
//
// The slave's data layout (docs/formats.md): discrete inputs 0..15
// (function 02) are the 16 input bits, bit i = discrete input i; input
// register 0 (function 04) is the slave's sample counter, advanced each time
// the slave samples its inputs. "New data" means the counter differs from its
// value at the previous successful TQs_data_cycle; the first poll after
// TQs_init, and after a lost link was made again, always has new data (a
// restarted slave counts from the start again).
//
// One connection per process, held from TQs_init to the end of the run.
#include "station_libs.h"

#include <modbus/modbus.h>

#include <cstdint>
#include <memory>
#include <string>

namespace tq {

namespace {

// Serial settings of the station's RTU line.
constexpr int rtu_baud = 9600;
constexpr char rtu_parity = 'N';
constexpr int rtu_data_bits = 8;
constexpr int rtu_stop_bits = 1;

// Longest wait for an answer, and between two bytes of one answer.
constexpr std::uint32_t response_timeout_us = 500000;
constexpr std::uint32_t byte_timeout_us = 500000;

constexpr int input_count = 16;
constexpr int counter_register = 0;

struct modbus_closer {
    void operator()(modbus_t *ctx) const
    {
        modbus_close(ctx);
        modbus_free(ctx);
    }
};

struct slave_state {
    std::unique_ptr<modbus_t, modbus_closer> ctx;
    bool connected = false;
    bool have_counter = false;  // a poll succeeded on this connection
    std::uint16_t counter = 0;  // the counter at that poll
};

slave_state station_slave;

// "HOST:PORT" (HOST may be a name, an IPv4 address or a bracketed IPv6
// address) or an RTU device path beginning with '/'.
modbus_t *make_context(const char *slave)
{
    if (slave == nullptr || *slave == '\0')
        return nullptr;
    if (slave[0] == '/')
        return modbus_new_rtu(slave, rtu_baud, rtu_parity, rtu_data_bits, rtu_stop_bits);
    std::string text(slave);
    std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        return nullptr;
    std::string host = text.substr(0, colon);
    std::string port = text.substr(colon + 1);
    if (port.find_first_not_of("0123456789") != std::string::npos || port.size() > 5 ||
        std::stoul(port) == 0 || std::stoul(port) > 65535)
        return nullptr;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return modbus_new_tcp_pi(host.c_str(), port.c_str());
}

bool connect_link()
{
    if (station_slave.connected)
        return true;
    if (modbus_connect(station_slave.ctx.get()) != 0)
        return false;
    station_slave.connected = true;
    station_slave.have_counter = false;
    return true;
}

// After a failed read the link is dropped, so that the next poll connects
// afresh (the slave may have restarted).
void drop_link()
{
    if (station_slave.connected)
        modbus_close(station_slave.ctx.get());
    station_slave.connected = false;
}

bool read_counter(std::uint16_t &counter)
{
    return modbus_read_input_registers(station_slave.ctx.get(), counter_register, 1, &counter) == 1;
}

bool read_inputs(std::uint32_t &bits)
{
    std::uint8_t in[input_count];
    if (modbus_read_input_bits(station_slave.ctx.get(), 0, input_count, in) != input_count)
        return false;
    bits = 0;
    for (int i = 0; i < input_count; ++i)
        if (in[i])
            bits |= 1u << i;
    return true;
}

}  // namespace

// Stands for the station's acquisition hardware set-up (powering and
// resetting the interface card, taking its I/O ports). The Modbus slave needs
// none of it, so an ordinary machine is always ready.
int TQ_hard_init()
{
    return 0;
}

int TQs_init(const char *slave, int n)
{
    station_slave = slave_state{};
    modbus_t *ctx = make_context(slave);
    if (ctx == nullptr)
        return 1;
    station_slave.ctx.reset(ctx);
    if (modbus_set_slave(ctx, n) != 0 ||
        modbus_set_response_timeout(ctx, 0, response_timeout_us) != 0 ||
        modbus_set_byte_timeout(ctx, 0, byte_timeout_us) != 0 || !connect_link())
        return 2;
    std::uint16_t counter;
    std::uint32_t bits;
    if (!read_counter(counter) || !read_inputs(bits)) {
        drop_link();
        return 3;
    }
    return 0;
}

int TQs_data_cycle(int n)
{
    if (!station_slave.ctx || modbus_set_slave(station_slave.ctx.get(), n) != 0 || !connect_link())
        return -2;
    // The counter is read before the inputs: a sample taken between the two
    // reads shows up again at the next poll rather than being lost.
    std::uint16_t counter;
    std::uint32_t bits;
    if (!read_counter(counter) || !read_inputs(bits)) {
        drop_link();
        return -2;
    }
    if (station_slave.have_counter && counter == station_slave.counter)
        return -1;
    station_slave.have_counter = true;
    station_slave.counter = counter;
    return int(bits);
}

}  // namespace tq
