#include "analis_check.h"

int main()
{
    return analis_check_run();
}
