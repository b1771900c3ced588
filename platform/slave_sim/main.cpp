#include "slave_sim.h"

int main(int argc, char **argv)
{
    return slave_sim_main(argc, argv);
}
