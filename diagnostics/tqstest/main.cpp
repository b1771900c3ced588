#include "tqstest.h"

int main(int argc, char **argv)
{
    return tqstest_run(argc, argv);
}
