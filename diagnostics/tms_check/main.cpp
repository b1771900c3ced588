#include "tms_check.h"

int main()
{
    return tms_check_run();
}
