// Preloaded into tqwl2db to make every commit fail: a real server cannot be
// made to refuse a commit at one chosen point.
#include <mysql.h>

extern "C" my_bool STDCALL mysql_commit(MYSQL *)
{
    return 1;
}
