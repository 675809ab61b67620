// The estimate's compressor on NTFS: ntdll's LZNT1 as Wine provides it, and the model the
// back end gives the system drive.

#include "platform/win32/Lznt1Compressor.h"
#include "platform/win32/Win32Platform.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <windows.h>

namespace brimble::win32 {
namespace {

constexpr std::size_t kUnit = 64 * 1024;

std::string Text(std::size_t size) {
    std::mt19937 random(2);
    static const char* const words[] = {"alpha ",      "beta ", "gamma ", "delta ", "x = y;\n",
                                        "return 0;\n", "{\n",   "}\n",    "int ",   "/* */ "};
    std::string bytes;
    while (bytes.size() < size)
        bytes += words[random() % 10];
    bytes.resize(size);
    return bytes;
}

std::string Noise(std::size_t size) {
    std::mt19937 random(1);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

// Block as RtlDecompressBuffer gives back the compressor's last output.
std::string Decompressed(const Lznt1Compressor& compressor, std::size_t size) {
    using Function = long(__stdcall*)(unsigned short, unsigned char*, unsigned long, unsigned char*,
                                      unsigned long, unsigned long*);
    const auto decompress = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlDecompressBuffer")));
    if (!decompress) return "<no RtlDecompressBuffer>";
    std::string input(compressor.LastOutput());
    std::string output(size, '\0');
    unsigned long written = 0;
    const long status = decompress(
        COMPRESSION_FORMAT_LZNT1, reinterpret_cast<unsigned char*>(output.data()),
        static_cast<unsigned long>(output.size()), reinterpret_cast<unsigned char*>(input.data()),
        static_cast<unsigned long>(input.size()), &written);
    if (status < 0) return "<status " + std::to_string(status) + ">";
    output.resize(written);
    return output;
}

TEST(Lznt1Compressor, ShrinksTextKeepsNoiseAndRoundTrips) {
    const std::unique_ptr<Lznt1Compressor> compressor = Lznt1Compressor::Open();
    if (!compressor) GTEST_SKIP() << "ntdll has no RtlCompressBuffer for LZNT1 here";
    struct Case {
        const char* what;
        std::string block;
        bool shrinks;
    } cases[] = {
        {"text", Text(kUnit), true},
        {"noise", Noise(kUnit), false},
        {"a partial unit of text", Text(10'000), true},
    };
    const bool compresses = compressor->Compresses();
    for (const Case& c : cases) {
        const int64_t size = compressor->CompressedSize(c.block, 0);
        ASSERT_GT(size, 0) << c.what;
        if (c.shrinks && compresses) {
            EXPECT_LT(size, static_cast<int64_t>(c.block.size()) / 2) << c.what;
        }
        if (!c.shrinks) {
            EXPECT_GE(size, static_cast<int64_t>(c.block.size())) << c.what;
        }
        EXPECT_EQ(Decompressed(*compressor, c.block.size()), c.block) << c.what;
    }
    // NTFS allocates nothing for a unit of zeros.
    EXPECT_EQ(compressor->CompressedSize(std::string(kUnit, '\0'), 0), 0);
    if (!compresses)
        GTEST_SKIP() << "this ntdll's LZNT1 stores chunks uncompressed (Wine's): the gain on "
                        "text is not seen here";
}

TEST(Lznt1Compressor, TheSystemDriveEstimatesInItsClusters) {
    Win32Platform platform;
    IVolumes& volumes = platform.Volumes();
    const TCompressionModel model = volumes.CompressionModel("C:\\");
    if (const auto compressor = Lznt1Compressor::Open(); !compressor || !compressor->Compresses()) {
        // An estimate that would find no saving anywhere is refused instead.
        EXPECT_EQ(model.Format, TCompressionFormat::None);
        EXPECT_NE(model.WhyNot.find("LZNT1"), std::string::npos) << model.WhyNot;
        GTEST_SKIP() << "no working LZNT1 compression here: " << model.WhyNot;
    }
    ASSERT_EQ(model.Format, TCompressionFormat::Lznt1) << model.WhyNot;
    EXPECT_EQ(model.ClusterSize, static_cast<int64_t>(volumes.GetClusterSize("C:\\").value()));
    EXPECT_TRUE(volumes.OpenBlockCompressor(TCompressionFormat::Lznt1));
    EXPECT_FALSE(volumes.OpenBlockCompressor(TCompressionFormat::Zstd)); // the program's own
}

} // namespace
} // namespace brimble::win32
