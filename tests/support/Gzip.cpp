#include "Gzip.h"

#include "TestFolder.h"

#include <gtest/gtest.h>
#include <zlib.h>

std::vector<unsigned char> Gunzip(const unsigned char* data, size_t size)
{
    z_stream z = {};
    EXPECT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
    std::vector<unsigned char> out;
    unsigned char buf[65536];
    z.next_in = const_cast<unsigned char*>(data);
    z.avail_in = static_cast<uInt>(size);
    int rc;
    do {
        z.next_out = buf;
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), buf, buf + (sizeof buf - z.avail_out));
    } while (rc == Z_OK);
    EXPECT_EQ(rc, Z_STREAM_END) << "the gzip stream is damaged";
    inflateEnd(&z);
    return out;
}

std::vector<unsigned char> Gzip(const std::vector<unsigned char>& data)
{
    z_stream z = {};
    EXPECT_EQ(deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<unsigned char> out(deflateBound(&z, data.size()) + 64);
    z.next_in = const_cast<unsigned char*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string PlainPatchImage(const std::string& patchFile)
{
    const std::vector<unsigned char> file = ReadFileBytes(patchFile);
    EXPECT_GT(file.size(), 8u) << patchFile;
    if (file.size() <= 8)
        return {};
    const std::vector<unsigned char> image = Gunzip(file.data() + 8, file.size() - 8);
    return std::string(image.begin(), image.end());
}
