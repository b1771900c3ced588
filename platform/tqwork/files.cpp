// libtqwork: file utilities of the station.
#include "station_libs.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tq {

namespace {

struct fd_guard {
    int fd;
    ~fd_guard()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

bool write_all(int fd, const char *p, ssize_t n)
{
    while (n > 0) {
        ssize_t w = ::write(fd, p, std::size_t(n));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= w;
    }
    return true;
}

}  // namespace

int copy(const char *src, const char *dst)
{
    fd_guard in{::open(src, O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0)
        return 1;
    struct stat src_st;
    if (::fstat(in.fd, &src_st) != 0 || S_ISDIR(src_st.st_mode))
        return 1;
    // Opening dst with O_TRUNC would empty src itself when both name one file;
    // that file already holds an exact copy of itself.
    struct stat dst_st;
    if (::stat(dst, &dst_st) == 0 && dst_st.st_dev == src_st.st_dev && dst_st.st_ino == src_st.st_ino)
        return 0;
    // Only a file this call created is removed after a failure: an existing
    // dst may be a device or another owner's file.
    bool created = true;
    fd_guard out{::open(dst, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)};
    if (out.fd < 0 && errno == EEXIST) {
        created = false;
        out.fd = ::open(dst, O_WRONLY | O_TRUNC | O_CLOEXEC);
    }
    if (out.fd < 0)
        return 1;
    auto fail = [&] {
        if (created)
            ::unlink(dst);
        return 1;
    };
    static thread_local char buf[1 << 17];
    for (;;) {
        ssize_t got = ::read(in.fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || !write_all(out.fd, buf, got))
            return fail();
        if (got == 0)
            break;
    }
    int fd = out.fd;
    out.fd = -1;
    if (::close(fd) != 0)
        return fail();
    return 0;
}

int scode_date(char *out, std::time_t t)
{
    std::snprintf(out, 12, "%010lld", static_cast<long long>(t));
    return 0;
}

}  // namespace tq
