// libtqwork's file utilities and the shared names and MD5 digest.
#include "station_libs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

using namespace tq;
using tq_test::temp_dir;

namespace {

struct file_closer {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

void write_file(const std::string &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary);
    out.write(content.data(), std::streamsize(content.size()));
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string random_bytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto &c : s)
        c = char(rng());
    return s;
}

std::string hex(const unsigned char *d, int n)
{
    std::string s;
    char buf[3];
    for (int i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", d[i]);
        s += buf;
    }
    return s;
}

std::string md5_of_file(const std::string &path, long skip = 0)
{
    file_ptr f(std::fopen(path.c_str(), "rb"));
    if (!f)
        return "no file";
    std::fseek(f.get(), skip, SEEK_SET);
    unsigned char d[16];
    if (md5file(f.get(), d) != 0)
        return "failed";
    return hex(d, 16);
}

// md5sum(1), a computation independent of ours.
std::string md5sum_of(const std::string &path)
{
    tq_test::child_process p;
    if (!p.start({"/usr/bin/md5sum", path}))
        return "no md5sum";
    std::string out = p.read_all(10000);
    p.wait(10000);
    return out.substr(0, 32);
}

}  // namespace

TEST(Names, AreTheStationFileNames)
{
    EXPECT_STREQ(TQ_wlset_name, "wl.set");
    EXPECT_STREQ(TQ_errorlog_name, "error.log");
}

TEST(ScodeDate, IsTenZeroPaddedDigitsOfEpochSeconds)
{
    struct {
        std::time_t t;
        const char *name;
    } cases[] = {{1178000000, "1178000000"}, {0, "0000000000"}, {12345, "0000012345"}, {2147483647, "2147483647"}};
    for (auto &c : cases) {
        char out[12];
        std::memset(out, 'x', sizeof out);
        scode_date(out, c.t);
        EXPECT_STREQ(out, c.name);
    }
}

TEST(Md5file, MatchesTheRfc1321Vectors)
{
    temp_dir dir;
    struct {
        const char *text, *digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (auto &c : cases) {
        std::string path = dir / "vector";
        write_file(path, c.text);
        EXPECT_EQ(md5_of_file(path), c.digest) << '"' << c.text << '"';
    }
}

TEST(Md5file, AgreesWithMd5sumOnLargeBinaryFiles)
{
    temp_dir dir;
    // Sizes around the read buffer and a worklog of 12-byte records.
    for (std::size_t size : {std::size_t(1), std::size_t(65535), std::size_t(65536), std::size_t(65537),
                             std::size_t(12 * 86400), std::size_t(3 << 20)}) {
        std::string path = dir / ("data" + std::to_string(size));
        write_file(path, random_bytes(size, unsigned(size)));
        EXPECT_EQ(md5_of_file(path), md5sum_of(path)) << size << " bytes";
    }
}

TEST(Md5file, DigestsFromTheCurrentPosition)
{
    temp_dir dir;
    write_file(dir / "f", "xxxabc");
    EXPECT_EQ(md5_of_file(dir / "f", 3), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5file, ReportsAStreamItCannotRead)
{
    temp_dir dir;
    write_file(dir / "f", "abc");
    file_ptr f(std::fopen((dir / "f").c_str(), "ab"));  // write-only stream
    unsigned char d[16];
    std::memset(d, 0xAA, sizeof d);
    EXPECT_NE(md5file(f.get(), d), 0);
    EXPECT_EQ(hex(d, 16), std::string(32, '0'));
    EXPECT_NE(md5file(nullptr, d), 0);
}

TEST(Copy, CopiesEveryByte)
{
    temp_dir dir;
    for (std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(131072), std::size_t(131073),
                             std::size_t(1 << 21)}) {
        std::string src = dir / ("src" + std::to_string(size));
        std::string dst = dir / ("dst" + std::to_string(size));
        std::string content = random_bytes(size, 7);
        write_file(src, content);
        ASSERT_EQ(copy(src.c_str(), dst.c_str()), 0) << size;
        EXPECT_TRUE(read_file(dst) == content) << size << " bytes differ";
    }
}

TEST(Copy, ReplacesALongerExistingFile)
{
    temp_dir dir;
    write_file(dir / "src", "short");
    write_file(dir / "dst", std::string(10000, 'z'));
    ASSERT_EQ(copy((dir / "src").c_str(), (dir / "dst").c_str()), 0);
    EXPECT_EQ(read_file(dir / "dst"), "short");
}

TEST(Copy, OntoItselfKeepsTheContent)
{
    temp_dir dir;
    write_file(dir / "f", "worklog bytes");
    EXPECT_EQ(copy((dir / "f").c_str(), (dir / "f").c_str()), 0);
    EXPECT_EQ(read_file(dir / "f"), "worklog bytes");
}

TEST(Copy, FailuresAreNeverReportedAsSuccess)
{
    temp_dir dir;
    write_file(dir / "src", "data");
    std::filesystem::create_directory(dir.path() / "sub");

    // Missing source: nothing is created.
    EXPECT_NE(copy((dir / "missing").c_str(), (dir / "dst1").c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "dst1"));
    // A directory is no file to copy.
    EXPECT_NE(copy((dir / "sub").c_str(), (dir / "dst2").c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "dst2"));
    // The destination's directory does not exist, or dst is a directory.
    EXPECT_NE(copy((dir / "src").c_str(), (dir / "nowhere/dst").c_str()), 0);
    EXPECT_NE(copy((dir / "src").c_str(), (dir / "sub").c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "sub"));
}

TEST(Copy, AFailedWriteIsReportedAndTheDeviceKept)
{
    // Every write to /dev/full fails with ENOSPC.
    temp_dir dir;
    write_file(dir / "src", "data");
    EXPECT_NE(copy((dir / "src").c_str(), "/dev/full"), 0);
    struct stat st;
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(Copy, UnreadableSourceOrUnwritableDirectoryFails)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads and writes regardless of permissions";
    temp_dir dir;
    write_file(dir / "src", "data");
    std::filesystem::create_directory(dir.path() / "locked");
    ::chmod((dir / "locked").c_str(), 0555);
    EXPECT_NE(copy((dir / "src").c_str(), (dir / "locked/dst").c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "locked/dst"));
    ::chmod((dir / "src").c_str(), 0);
    EXPECT_NE(copy((dir / "src").c_str(), (dir / "dst").c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "dst"));
    ::chmod((dir / "locked").c_str(), 0755);
}
